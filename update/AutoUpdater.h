#pragma once
// The background update check: asks the update server whether a newer version exists, asks the user on
// the main window's thread, downloads the listed files, swaps them in under "_old"/"_new" names and
// restarts the program (or starts a downloaded installer).

#include "base/WString.h"
#include "framework/HttpClient.h"
#include "framework/SettingsStore.h"
#include "framework/SubclassHook.h"
#include "update/CheckSchedule.h"
#include "update/UpdateAnswer.h"
#include "update/WorkerThread.h"

#include <windows.h>

#include <vector>

class AutoUpdater {
public:
    // Settings in the program's INI file instead of the registry.
    static const unsigned START_INI = 4;
    // Larger answers are refused; a real one is a few kilobytes.
    static const DWORD MaxAnswerBytes = 1u << 20;
    // The most one file of an update may have.
    static const unsigned long long MaxDownloadBytes = UpdateAnswer::MaxFileBytes;
    // How long the end of a running check is waited for once its requests are cancelled (Abort).
    static const DWORD AbortWait = 5000;

    AutoUpdater() = default;
    ~AutoUpdater();
    AutoUpdater(const AutoUpdater&) = delete;
    AutoUpdater& operator=(const AutoUpdater&) = delete;

    // The value name of a manual check: no weekly rule holds it back or records it, and a version the user
    // declined is offered again.
    static constexpr const wchar_t* MANUAL_CHECK = nullptr;

    // Starts a check unless throttled; MANUAL_CHECK as the value name starts one whatever the last check. 1
    // when a check was started.
    int Start(const wchar_t* updateUrl, HWND mainWindow, HKEY rootKey, const wchar_t* keyPath, const wchar_t* valueName,
              unsigned startFlags);
    // Waits for a running check (dispatching messages; every request it makes has a deadline), then
    // removes the window hook.
    void Stop();
    // Ends a running check as the program closes: its network requests are cancelled by closing their
    // handles, and it is waited for at most AbortWait ms. While one of its questions is up the check is
    // only told that the program closes: the question then counts as neither Yes nor No.
    void Abort();
    // The last automatic check as local short date and time; empty for never.
    int FormatLastCheck(WString& text);
    // A check time (seconds since 1970) as local short date and time; empty for 0 and for the skip mark.
    static int FormatCheckTime(DWORD seconds, WString& text);
    // The hook the check's fetch and downloads go through (see HttpCallback): no cookies either way.
    static int RequestHook(int code, void* data, void* context);

    // How long the answer's fetch may take in all (a download gets as long again and more for its size),
    // and each connect, send or receive.
    void SetTimeouts(DWORD networkDeadline, DWORD socketTimeout);
    // The publisher's public key (base64 of X and Y on P-256), or two separated by a comma while the
    // publisher changes keys, one of which must have signed every answer; null or empty: a build without
    // a key, which installs unsigned files. A key that does not decode refuses every update rather than
    // none.
    void SetPublicKey(const wchar_t* base64);
    int HasPublicKey() const { return keyConfigured; }
    // Installs into this folder (with a trailing backslash) instead of the running program's.
    void SetProgramFolder(const wchar_t* folder) { programFolder.Assign(folder); }
    // Saves installers into this folder (no trailing backslash) instead of the user's desktop.
    void SetInstallerFolder(const wchar_t* folder) { installerFolder.Assign(folder); }

    UINT UpdateMessage() const { return updateMessage; }

private:
    static DWORD CheckThread(void* self, UINT_PTR value);
    static int HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData);
    DWORD Check();
    int Install(const UpdateAnswer& answer);
    void Restart(const UpdateAnswer& answer, int ownFileWaiting);
    // A check started with MANUAL_CHECK (or an empty name) keeps no value name.
    int IsManual() const { return valueName.IsEmpty(); }
    // What the main window is sent to ask (its WPARAM).
    enum Question : WPARAM { QUESTION_UPDATE = 0, QUESTION_RESTART = 1 };
    // 1 for Yes, 0 for No, -1 for neither (the program closed the question).
    int Ask(Question question);
    int FetchAnswer(const WString& request, WString& body);

    HWND window = nullptr;
    WString url;
    UINT updateMessage = 0;
    SubclassHook<HOOK_UPDATE_CHECKER> hook;
    WString application;
    WString info;
    WString restartText;
    WString help;
    WString installerPath;
    WString programFolder;
    WString installerFolder;
    int keyConfigured = 0;
    std::vector<std::vector<BYTE>> publicKeys;
    HttpClient http;
    volatile LONG boxOpen = 0;
    WString valueName;
    unsigned flags = 0;
    SettingsStore settings;
    CheckSchedule schedule;
    WorkerThread worker;
    DWORD networkDeadline = 60000;
    DWORD socketTimeout = 20000;
    // Set by Abort while a question is up: the program is closing.
    volatile LONG closing = 0;
};
