#pragma once
// The fixed entries below the folder contents: one table gives each command its name (a string of the
// string table) and its icon (an icon resource), for the tree, the menus and the launcher alike.

#include <windows.h>

enum CommandType : int {
    CMD_ABOUT = 0,
    CMD_ORGANIZE = 1,
    CMD_SHUTDOWN = 2,
    CMD_RUN = 3,
    CMD_CONTROL_PANEL = 4,
    CMD_ADMIN_CONSOLE = 5,
    CMD_EXIT = 6,
};

struct FixedCommand {
    int type;
    UINT nameId;
    int iconId;
};

class FixedCommands {
public:
    // The icon of every folder item.
    static const int FolderIcon = 111;

    // The table's row of a command, or null for an unknown one.
    static const FixedCommand* Find(int type);
    // The string-table id of a command's name, 0 for an unknown command.
    static UINT NameId(int type);
    // The icon resource of a command, -1 for an unknown command.
    static int IconId(int type);
};
