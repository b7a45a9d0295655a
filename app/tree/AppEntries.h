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
    // Adds the apps whose IDs are not among the shortcuts' own to the root, before its fixed entries are
    // added; the root's "Empty" placeholder goes once an app is there. The number of apps added.
    static int Merge(MenuNode& root, const std::vector<PackagedApp>& apps, const std::set<std::wstring>& shortcutIds);
    // The node's hash for an app: changes with the stamp, so that a cached row of an updated app is fetched again.
    static unsigned StampHash(const wchar_t* stamp);

private:
    // Adds one app's node in menu order; the first one takes the place of the "Empty" placeholder.
    static int Add(MenuNode& root, const PackagedApp& app, int first);
};
