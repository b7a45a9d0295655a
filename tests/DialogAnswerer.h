#pragma once
// Answers the credential dialog of this process from another thread, as a user would, with the given
// user and password, for as long as the object lives.

#include <windows.h>

#include <atomic>
#include <thread>
#include <wchar.h>

class DialogAnswerer {
public:
    DialogAnswerer(const wchar_t* user, const wchar_t* password) : user(user), password(password) {
        worker = std::thread([this] { Run(); });
    }
    ~DialogAnswerer() {
        done = true;
        worker.join();
    }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    int Answered() const { return answered; }

private:
    static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t name[64] = L"";
        GetClassNameW(window, name, 64);
        if (process != GetCurrentProcessId() || wcscmp(name, L"#32770") != 0 || !IsWindowVisible(window))
            return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    void Run() {
        while (!done) {
            HWND dialog = nullptr;
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&dialog));
            if (!dialog) {
                Sleep(50);
                continue;
            }
            // The edit with ES_PASSWORD takes the password, the other one the user name.
            for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t name[32] = L"";
                GetClassNameW(child, name, 32);
                if (_wcsicmp(name, L"Edit") == 0)
                    SendMessageW(
                        child, WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(GetWindowLongW(child, GWL_STYLE) & ES_PASSWORD ? password : user));
            }
            answered++;
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
            while (!done && IsWindow(dialog))
                Sleep(20);
        }
    }

    const wchar_t* user;
    const wchar_t* password;
    std::atomic<bool> done{false};
    std::atomic<int> answered{0};
    std::thread worker;
};
