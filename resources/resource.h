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
