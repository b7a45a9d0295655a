#pragma once
// Where Windows' own Start menu opens, for a menu opened from the keyboard: at the corner of the
// taskbar's Start button, on the taskbar's monitor, on the side of the taskbar that faces the screen.

#include <windows.h>

class TaskbarCorner {
public:
    // A point and the TrackPopupMenu alignment flags that put the menu beside it.
    struct Place {
        POINT point;
        UINT alignment;
    };
    // Where the Start button sits along the taskbar when there is no window of it to ask.
    enum ButtonSpot : int { AT_START = 0, CENTRED = 1 };

    // The place beside the system's taskbar; 0 when there is none (the caller opens at the mouse).
    static int Find(Place* place);
    // The place for a taskbar's rectangle on its monitor's, with the Start button's rectangle (null when
    // it has no window: then the spot says where it is), all in screen coordinates.
    static Place FromRects(const RECT& taskbar, const RECT& monitor, const RECT* button, ButtonSpot spot);

private:
    // Windows 11 centres the Start button unless the user moved it to the left.
    static ButtonSpot SpotOfButton();
};
