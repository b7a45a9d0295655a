#pragma once
// The packaged apps in the menu: merged into the root of the tree read from the Programs folders, sorted
// with its entries and folders by name as Windows' own list shows them, without an "Apps" folder of their
// own. An app that a shortcut of the tree already stands for (the shortcut carries the app's
// AppUserModelID) is not listed twice.

#include "app/shell/PackagedApp.h"

#include <set>
#include <string>
#include <vector>

class MenuNode;

class AppEntries {
public:
    // Adds the apps whose IDs are not among the shortcuts' own to the root, before its fixed entries; the
    // root's "Empty" placeholder goes once an app is there. The number of apps added.
    static int Merge(MenuNode& root, const std::vector<PackagedApp>& apps, const std::set<std::wstring>& shortcutIds);
    // Takes the apps out of the root again, for another list of them.
    static void Remove(MenuNode& root);

private:
    // Adds one app's node in menu order; the first one takes the place of the "Empty" placeholder.
    static int Add(MenuNode& root, const PackagedApp& app, int first);
};
