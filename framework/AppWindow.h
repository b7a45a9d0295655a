#pragma once
// The application's main window: a window class named uniquely for this process, the binding between
// the object and its window, and the message loop with modeless dialogs and accelerators.

#include "base/WString.h"
#include "framework/WindowBase.h"

#include <windows.h>

#include <vector>

class AppWindow : public WindowBase {
public:
    // The word that starts the window-class name and is the main window's title.
    static const wchar_t* const Signature;

    AppWindow() = default;
    ~AppWindow() override = default;

    // Creates the main window and runs the message loop; returns the exit code (0 when start-up failed).
    int Run(HINSTANCE moduleInstance, int showCommand, HWND parentWindow);

    // The application object whose Run is in progress (one per process), or null.
    static AppWindow* Current() { return current; }

    const WString& ClassName() const { return className; }
    LRESULT Close();
    BOOL PostClose();
    // A modeless dialog whose keys the message loop hands to IsDialogMessage, from START_TRACKING until
    // STOP_TRACKING.
    enum DialogTracking : int { STOP_TRACKING = 0, START_TRACKING = 1 };
    void TrackModelessDialog(HWND dialog, DialogTracking tracking);
    void SetPropertySheet(HWND sheet) { propertySheet = sheet; }

protected:
    virtual int InitApplication();
    virtual int InitAccelerators();
    virtual int InitInstance();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnCreate();
    virtual LRESULT OnCommand(WORD commandId, WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnClose();
    virtual LRESULT OnDestroy();
    virtual int RegisterWindowClass(const wchar_t* name, UINT iconId, UINT smallIconId, UINT menuId);
    virtual int LoadAccelTable(UINT resourceId);
    virtual int CreateMainWindow(const wchar_t* classNameText, const wchar_t* title, HMENU menu);
    virtual int MessageLoop();

    // Raises a proposed size to the window's minimum; 1 when the message was answered.
    int ClampToMinimumSize(WINDOWPOS* position) const;

private:
    static LRESULT CALLBACK SharedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    static AppWindow* current;

    HACCEL accelerators = nullptr;
    HWND propertySheet = nullptr;
    std::vector<HWND> modelessDialogs = std::vector<HWND>(5, nullptr);
    WString className;
    HWND parent = nullptr;
};
