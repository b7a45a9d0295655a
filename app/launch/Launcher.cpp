#include "app/launch/Launcher.h"

#include "app/launch/CommandHost.h"
#include "app/shell/AppActivation.h"
#include "app/shell/PackagedApps.h"
#include "app/shell/ShellFile.h"
#include "app/shell/ShellRun.h"
#include "app/tree/FixedCommands.h"
#include "app/tree/MenuNode.h"
#include "base/ComApartment.h"
#include "base/ComObject.h"
#include "framework/AboutDialog.h"
#include "resources/resource.h"
#include "sysinfo/NativePath.h"

#include <shldisp.h>

namespace {

// The shell's Shell.Application object and its IShellDispatch interface.
const CLSID ShellApplication = {0x13709620, 0xC279, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID ShellDispatch = {0xD8F015C0, 0xC278, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The system's own Run and Shut Down dialogs, through the shell's automation object.
void RunShellDialog(bool shutdown) {
    ComApartment com;
    com.Init(ComApartment::SINGLE_THREADED);
    IShellDispatch* shell =
        static_cast<IShellDispatch*>(CreateComObject(ShellApplication, ShellDispatch, nullptr, COM_OBJECT_CREATE));
    if (!shell)
        return;
    if (shutdown)
        shell->ShutdownWindows();
    else
        shell->FileRun();
    shell->Release();
}

} // namespace

int Launcher::OpenEntry(const wchar_t* path) {
    return ShellFile::Open(path);
}

int Launcher::Launch(const MenuNode& node) {
    // A packaged app starts through the system's activation, or else as its item's default verb would: the
    // shell takes its item's path as it is (it names no file).
    if (node.flags & NODE_APP) {
        if (!AppActivation::Activate(node.relativePath)) {
            WString item(PackagedApps::ItemPrefix);
            item.Append(node.relativePath);
            ShellRun(item, nullptr, nullptr, SW_SHOWNORMAL, SHELL_AS_USER, nullptr);
        }
        return 1;
    }
    if (node.flags & NODE_ITEM) {
        WString path;
        if (MenuNode::SourceFolder(node.flags, path)) {
            path.Append(node.relativePath);
            OpenEntry(path);
        }
        return 1;
    }
    if (node.flags & NODE_COMMAND)
        RunCommand(node.commandType);
    return 1;
}

void Launcher::RunCommand(int type) {
    switch (type) {
        case CMD_ABOUT:
            if (host) {
                host->ShowAbout();
            } else {
                AboutDialog about(nullptr, nullptr);
                about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0, nullptr);
            }
            break;
        case CMD_ORGANIZE: {
            // Both Programs folders, all-users first, even when the menu came from a custom root. They lie
            // outside System32 and Program Files: nothing to map.
            WString folder;
            if (MenuNode::SourceFolder(NODE_COMMON, folder))
                ShellRun(folder, nullptr, nullptr, SW_SHOWDEFAULT, SHELL_AS_USER, L"open");
            if (MenuNode::SourceFolder(NODE_USER, folder))
                ShellRun(folder, nullptr, nullptr, SW_SHOWDEFAULT, SHELL_AS_USER, L"open");
            break;
        }
        case CMD_SHUTDOWN:
            RunShellDialog(true);
            break;
        case CMD_RUN:
            RunShellDialog(false);
            break;
        case CMD_CONTROL_PANEL: {
            // The native control.exe and cmd.exe, not the 32-bit copies in SysWOW64: a 32-bit Control
            // Panel lacks the 64-bit applets, and a 32-bit prompt sees a redirected system.
            WString program;
            if (NativeSystemProgram(L"control.exe", program))
                ShellRun(program, nullptr, nullptr, SW_SHOWDEFAULT, SHELL_AS_USER, L"open");
            break;
        }
        case CMD_ADMIN_CONSOLE: {
            // The system asks for elevation; a refusal starts nothing and shows the shell's own message.
            WString program;
            if (NativeSystemProgram(L"cmd.exe", program))
                ShellRun(program, nullptr, nullptr, SW_SHOWDEFAULT, SHELL_ELEVATED, L"open");
            break;
        }
        case CMD_EXIT:
            if (host)
                host->Exit();
            break;
        default:
            break;
    }
}
