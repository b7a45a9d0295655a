#pragma once
// The process-wide options that shape every menu: set once at start-up from the command line,
// before the first tree is built, and read by the tree's sort and the menu builder.

#include "base/WString.h"

struct MenuOptions {
    // 0: folders and entries in one alphabetical list; 1: entries before folders; other: folders first.
    int folderOrder = 0;
    // Non-zero: folders without any launchable entry are shown too.
    int showEmptyFolders = 0;
    // The folder the menu is built from instead of the two Start Menu folders; empty when not given.
    WString customRoot;

    static MenuOptions& Current();
};
