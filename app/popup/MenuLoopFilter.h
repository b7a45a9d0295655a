#pragma once
// The one message filter of the menus this thread tracks (WH_MSGFILTER, MSGF_MENU): the typed letters, the
// right clicks and whatever else must see the menu loop's input before it does listen here, in the order
// they subscribed. The hook is set with the first listener and removed with the last, so no menu loop
// runs filtered for nothing, and every listener sees the same messages whatever the others do.

#include <windows.h>

class MenuLoopListener;

class MenuLoopFilter {
public:
    static const int MaxListeners = 4;

    // 1 also when the listener listens already. 0 when the hook cannot be set, the listeners are full, or
    // another thread holds the filter.
    static int Subscribe(MenuLoopListener* listener);
    static void Unsubscribe(MenuLoopListener* listener);

private:
    static LRESULT CALLBACK FilterProc(int code, WPARAM wParam, LPARAM lParam);

    static HHOOK hook;
    static DWORD threadId;
    static MenuLoopListener* listeners[MaxListeners];
    static int count;
};
