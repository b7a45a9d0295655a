#pragma once
// Identifiers of the program's resources, shared by the resource script and the code.

#define IDS_ABOUT 1
#define IDS_ORGANIZE 2
#define IDS_SHUTDOWN 3
#define IDS_RUN 4
#define IDS_ADMIN_CONSOLE 5
#define IDS_CONTROL_PANEL 6
#define IDS_EMPTY 7
#define IDS_AUTO_UPDATE 8
#define IDS_LAST_CHECK 9
#define IDS_OK 10
#define IDS_VERSION 11
#define IDS_EXIT 12
#define IDS_HOTKEY 13
#define IDS_HOTKEY_TAKEN 14
#define IDS_WINKEY 15
#define IDS_NO_ANSWER 16
#define IDS_SEARCH 17
#define IDS_NO_MATCH 18

#define IDI_VELTRIX 101
#define IDI_CONTROL_PANEL 110
#define IDI_FOLDER 111
#define IDI_ORGANIZE 112
#define IDI_RUN 113
#define IDI_SHUTDOWN 114
#define IDI_ABOUT 115
#define IDI_ADMIN_CONSOLE 116
#define IDC_HAND_POINTER 119
#define IDI_EXIT 120

#define IDD_ABOUT 117
#define IDC_ABOUT_OK 1001
#define IDC_ABOUT_PRODUCT 1002
#define IDC_ABOUT_VERSION 1003
#define IDC_ABOUT_LINK 1004
#define IDC_ABOUT_AUTO_UPDATE 1005
#define IDC_ABOUT_HOTKEY_LABEL 1006
#define IDC_ABOUT_HOTKEY 1007
#define IDC_ABOUT_HOTKEY_TAKEN 1008
#define IDC_ABOUT_WINKEY 1009
