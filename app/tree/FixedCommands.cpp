#include "app/tree/FixedCommands.h"

#include "resources/resource.h"

namespace {

const FixedCommand Table[] = {
    {CMD_ABOUT, IDS_ABOUT, 115},
    {CMD_ORGANIZE, IDS_ORGANIZE, 112},
    {CMD_SHUTDOWN, IDS_SHUTDOWN, 114},
    {CMD_RUN, IDS_RUN, 113},
    {CMD_CONTROL_PANEL, IDS_CONTROL_PANEL, 110},
    {CMD_ADMIN_CONSOLE, IDS_ADMIN_CONSOLE, 116},
    {CMD_EXIT, IDS_EXIT, 120},
};

} // namespace

const FixedCommand* FixedCommands::Find(int type) {
    for (const FixedCommand& command : Table) {
        if (command.type == type)
            return &command;
    }
    return nullptr;
}

UINT FixedCommands::NameId(int type) {
    const FixedCommand* command = Find(type);
    return command ? command->nameId : 0;
}

int FixedCommands::IconId(int type) {
    const FixedCommand* command = Find(type);
    return command ? command->iconId : -1;
}
