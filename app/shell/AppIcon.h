#pragma once
// A packaged app's name and icon as Windows' own list of apps shows them: its display name, and its image
// from the shell item's image factory at the menu's icon size, with its transparency and without the
// coloured plate of its tile.

#include "base/WString.h"

#include <windows.h>

class AppIcon {
public:
    // For the app's item at itemPath ("shell:AppsFolder\<id>"): its name into name (left alone when there
    // is none) and an icon of size x size pixels into *icon, the caller's to destroy. 1 when an icon was
    // made. The calling thread has COM started; the shell may read the app's package, so it is never the
    // user-interface thread.
    static int Look(const wchar_t* itemPath, int size, WString& name, HICON* icon);
    // A 32-bit image with premultiplied alpha (as the image factory gives it), centred on a transparent
    // square of size x size pixels, as an icon; null when it is larger than that or cannot be made.
    static HICON IconFromImage(HBITMAP image, int size);
};
