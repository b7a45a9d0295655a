#pragma once
// Drives the real Veltrix.exe from a test: starts it with arguments, finds its popup menu and its
// hidden main window, reads the menu's items and sends the input a user would.

#include <windows.h>

#include <string>
#include <vector>

class VeltrixProcess {
public:
    VeltrixProcess() = default;
    ~VeltrixProcess();
    VeltrixProcess(const VeltrixProcess&) = delete;
    VeltrixProcess& operator=(const VeltrixProcess&) = delete;

    // The folder of the test programs, where Veltrix.exe and the helper programs are built.
    static std::wstring ProgramFolder();

    // Starts the Veltrix.exe built beside the tests, or the program at that path.
    bool Start(const std::wstring& arguments, const std::wstring& program = std::wstring());
    // Takes over a process that another started (a restarted instance); ended like one this started.
    bool Attach(DWORD processId);
    // Lets the process go on without this object, which then neither ends nor waits for it.
    void Detach();
    // Ends the process at once and forgets it, so that Start can begin another.
    void Kill();
    // Waits for the process to end; true when it did within the time, with its exit code.
    bool WaitForExit(DWORD milliseconds, DWORD* exitCode = nullptr);
    // Closes the window as Exit does and waits: the exit code, or STILL_ACTIVE when it did not end in time.
    DWORD CloseAndWait(HWND window, DWORD milliseconds);
    bool IsRunning() const;
    DWORD Id() const { return process.dwProcessId; }

    // The visible popup menu window (class "#32768") of this process, or null after the time.
    HWND WaitForMenu(DWORD milliseconds) const;
    // A visible top-level window of this process with that class, or null after the time.
    HWND WaitForWindow(const wchar_t* className, DWORD milliseconds) const;
    // The process's main window (its class name starts with "Kavrin_"), or null after the time.
    HWND WaitForMainWindow(DWORD milliseconds) const;
    // Texts of the items of the menu shown in a popup window; separators read as "-". With sizes, each of
    // the program's items ends in "\tWIDTHxHEIGHT ICON" as it was measured.
    static std::vector<std::wstring> MenuItems(HWND popup, bool withSizes = false);
    // Has a thread inside the process hold the process's reference for the shell (SHGetInstanceExplorer) for
    // that long, as a component of the shell does while it works for the process; the popup's thread is
    // asked. False when the process has published none.
    static bool HoldShellReference(HWND popup, DWORD milliseconds);
    static std::wstring ClassName(HWND window);
    // Full paths of the modules of that file name loaded in the process.
    std::vector<std::wstring> ModulePaths(const wchar_t* fileName) const;

    // Waits for a file that a launched program writes; true when it appeared within the time.
    static bool WaitForFile(const std::wstring& path, DWORD milliseconds);

    // Keyboard input as the user types it, to whatever has the focus.
    static void PressKey(WORD virtualKey);
    // A character typed as a keyboard layout delivers it, whether or not the layout has a key for it.
    static void TypeCharacter(wchar_t character);

private:
    // Asks menu_probe.dll, hooked into the window's thread, the question named; its answer file's bytes.
    static std::string AskProbe(HWND popup, const wchar_t* name, WPARAM argument);
    HWND FindWindowOfClass(const wchar_t* className, bool prefix, bool visibleOnly) const;

    PROCESS_INFORMATION process = {};
};
