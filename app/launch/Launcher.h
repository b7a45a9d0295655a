#pragma once
// Runs the action of a chosen menu item: an entry is opened through the shell as Explorer opens it, a
// fixed command runs its action, the About box and Exit through the application's CommandHost.

#include "base/WString.h"

class CommandHost;
class MenuNode;

class Launcher {
public:
    // host may be null: About then shows a box of its own, and Exit does nothing.
    explicit Launcher(CommandHost* host) : host(host) {}

    // Runs the node's action; always 1, whatever the action's outcome. What the action needs is taken
    // from the node before it runs, so the action may outlive the tree.
    int Launch(const MenuNode& node);
    // The action of a fixed entry.
    void RunCommand(int type);
    // Opens the entry at this full path.
    static int OpenEntry(const wchar_t* path);

private:
    CommandHost* host;
};
