#include "update/AutoUpdater.h"

#include "base/ComApartment.h"
#include "base/KernelHandle.h"
#include "base/ShellRequest.h"
#include "framework/VersionInfo.h"
#include "sysinfo/MachineId.h"
#include "update/BuildArchitecture.h"
#include "update/SwapRecovery.h"
#include "update/UpdateInstall.h"
#include "update/UpdateNames.h"
#include "update/UpdateSignature.h"


#include <string>
#include <time.h>

namespace {

const wchar_t UserAgent[] = L"AutoUpdate";

// 1 when a new file can be made in the folder. A program installed for every user lives under Program
// Files, which a program running with the user's rights cannot write to: an update it offered there
// would fail after the user agreed, and be offered again at every check.
int TakesNewFiles(const wchar_t* folder) {
    WString probe;
    probe.Format(L"%s~update-%08lX.tmp", folder, GetCurrentProcessId());
    KernelHandle file(CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.Valid();
}

// Started with the shell's "open", as the launcher starts programs; 1 when the shell took it. The shell's
// extensions need COM on the calling thread; the check's thread has no message loop and ends right after
// the restart's start, so the call returns only once the launch is done. Silent on failure, as the
// updater has always been.
int ShellStart(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder) {
    ComApartment com;
    com.Init(ComApartment::SINGLE_THREADED);
    ShellRequest request;
    request.verb = L"open";
    request.file = file;
    request.parameters = parameters;
    request.directory = folder;
    request.show = SW_SHOWDEFAULT;
    request.flags = ShellRequest::WAIT_FOR_LAUNCH | ShellRequest::NO_ERROR_UI;
    return request.Send();
}

} // namespace

AutoUpdater::~AutoUpdater() {
    // The program's end: OnClose has cancelled and waited already, so there is no second wait.
    if (!closing)
        Abort();
    // Only at the program's end can a check still run here (its cancelled request did not return in
    // time): the process is about to go, and with it whatever that thread holds.
    worker.Stop();
}

void AutoUpdater::SetPublicKey(const wchar_t* base64) {
    publicKeys.clear();
    keyConfigured = base64 && *base64;
    // One key, or two separated by a comma while the publisher changes keys.
    for (const wchar_t* key = base64; keyConfigured && key && *key;) {
        const wchar_t* comma = wcschr(key, L',');
        WString text;
        text.Assign(key, comma ? (unsigned)(comma - key) : (unsigned)wcslen(key));
        std::vector<BYTE> bytes;
        if (publicKeys.size() == 2 || !UpdateSignature::DecodeBase64(text, bytes) ||
            bytes.size() != UpdateSignature::KeyBytes) {
            // A key that does not decode refuses every update rather than none.
            publicKeys.clear();
            return;
        }
        publicKeys.push_back(bytes);
        key = comma ? comma + 1 : nullptr;
    }
}

void AutoUpdater::SetTimeouts(DWORD deadline, DWORD socket) {
    networkDeadline = deadline;
    socketTimeout = socket;
}

int AutoUpdater::Start(const wchar_t* updateUrl, HWND mainWindow, HKEY rootKey, const wchar_t* keyPath,
                       const wchar_t* checkValueName, unsigned startFlags) {
    // Asked from inside one of the running check's questions (the About box's switch, with the question
    // up in tray mode): that check still runs and reads this object's settings; it is left alone.
    if (boxOpen)
        return 0;
    Stop();
    boxOpen = 0;
    closing = 0;
    http.ResetCancel();
    url.Assign(updateUrl ? updateUrl : L"");
    window = mainWindow;
    valueName.Assign(checkValueName ? checkValueName : L"");
    flags = startFlags;
    settings.Close();
    if (rootKey || (flags & START_INI))
        settings.Open((flags & START_INI) ? SettingsStore::INI_FILE : SettingsStore::REGISTRY, rootKey, keyPath,
                      nullptr);
    schedule.Attach(&settings, valueName);
    if (!schedule.Due((DWORD)time(nullptr)))
        return 0;
    updateMessage = RegisterWindowMessageW(L"_C_AutoUpdate");
    if (!updateMessage || url.IsEmpty() || !window || !hook.Attach(window, HookProc, this))
        return 0;
    http.SetTimeouts(socketTimeout, socketTimeout, socketTimeout);
    return worker.Start(CheckThread, this, 0);
}

void AutoUpdater::Stop() {
    // Called from inside one of the check's own questions (the program is told to close while the box is
    // up): the check waits for that very box, which cannot return before this does. The box goes with
    // its owner window; the destructor waits for the rest of the check.
    if (boxOpen)
        return;
    while (worker.IsRunning()) {
        if (worker.Wait(100))
            break;
        // The application is quitting: the destructor ends what still runs.
        MSG quit;
        if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
            break;
    }
    hook.Detach();
}

void AutoUpdater::Abort() {
    if (boxOpen) {
        // The question's box goes with its owner window; whatever it returns then is no answer.
        closing = 1;
        return;
    }
    closing = 1;
    http.Cancel();
    DWORD start = GetTickCount();
    while (worker.IsRunning() && GetTickCount() - start < AbortWait) {
        if (worker.Wait(100))
            break;
    }
    hook.Detach();
}

int AutoUpdater::RequestHook(int code, void* data, void* context) {
    return UpdateInstall::RequestHook(code, data, context);
}

int AutoUpdater::FormatLastCheck(WString& text) {
    return FormatCheckTime(settings.ReadInt(IsManual() ? L"LastCheck" : (const wchar_t*)valueName, 0), text);
}

int AutoUpdater::FormatCheckTime(DWORD last, WString& text) {
    text.Assign(L"");
    // 0xFFFFFFFF only asks to skip the next check; it is no time a check ran (it would read as 2106).
    if (last == 0 || last == 0xFFFFFFFF)
        return 1;
    ULARGE_INTEGER ticks;
    ticks.QuadPart = ((unsigned long long)last + 11644473600ULL) * 10000000ULL;
    FILETIME utc = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME universal, local;
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return 0;
    wchar_t date[80], clock[80];
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 80) ||
        !GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, clock, 80))
        return 0;
    return text.Format(L"%s %s", date, clock);
}

DWORD AutoUpdater::CheckThread(void* self, UINT_PTR) {
    return static_cast<AutoUpdater*>(self)->Check();
}

int AutoUpdater::FetchAnswer(const WString& request, WString& body) {
    http.SetDeadline(networkDeadline);
    // One byte over the limit tells a full answer from one that was cut at the limit.
    int fetched = http.Fetch(request, UserAgent, body, MaxAnswerBytes + 1, L"", RequestHook, nullptr);
    return fetched && (DWORD)body.Length() <= MaxAnswerBytes;
}

DWORD AutoUpdater::Check() {
    installerPath.Assign(L"");
    WString self, versionText;
    unsigned runningMajor = 0, runningMinor = 0;
    if (!VersionInfo::ModulePath(nullptr, self) ||
        !VersionInfo::FileVersionText(self, &runningMajor, &runningMinor, &versionText))
        return 0;
    WString id;
    FormatMachineId(id, MACHINE_ID_UPDATE_CHECK);
    WString request;
    // The architecture comes last, after the parameters every server has always read, so that a server
    // that knows nothing of it reads the request as before (and answers for 32-bit, as always).
    request.Format(L"%s%cv=%s&id=%s&arch=%s", (const wchar_t*)url, url.Find(L'?') ? L'&' : L'?',
                   (const wchar_t*)versionText, (const wchar_t*)id, BuildArchitecture);
    WString body;
    UpdateAnswer answer;
    // With the publisher's key nothing of an answer is read before its signature holds.
    if (!FetchAnswer(request, body) ||
        !UpdateAnswer::Read(body, answer, keyConfigured ? &publicKeys : nullptr, schedule.Now(time(nullptr))))
        return 0;
    // Files for the other build are never installed, whatever the server sent: a 64-bit program on 32-bit
    // Windows would not start again, and a 32-bit one would quietly replace the 64-bit product.
    if (answer.architecture.Compare(BuildArchitecture) != 0)
        return 0;
    // An answer older than one already taken, or for a lower version, is an old one replayed.
    if (!schedule.Accepts(answer.issued, answer.major, answer.minor))
        return 0;
    schedule.Accepted(answer.issued, answer.major, answer.minor, (DWORD)time(nullptr));
    if (!UpdateAnswer::IsNewer(answer.major, answer.minor, runningMajor, runningMinor))
        return 0;
    WString declinedName, declined;
    if (!IsManual()) {
        declinedName.Format(L"%sVersion", (const wchar_t*)valueName);
        settings.ReadString(declinedName, declined, L"");
        if (declined.Compare(answer.version) == 0)
            return 0;
    }
    // Only the installer goes elsewhere (the desktop); everything else lands in the program folder.
    int intoProgramFolder = 0;
    for (const UpdateFile& file : answer.files)
        intoProgramFolder |= !file.name.IsEmpty();
    if (intoProgramFolder && programFolder.IsEmpty() && !VersionInfo::ModuleDirectory(nullptr, programFolder))
        return 0;
    if (intoProgramFolder && !TakesNewFiles(programFolder))
        return 0;
    application = answer.application;
    info = answer.info;
    help = answer.help;
    restartText = answer.restart;
    int agreed = Ask(QUESTION_UPDATE);
    // Only the user's No declines a version; a question the closing program took away asked nothing.
    if (agreed == 0 && !IsManual() && !closing)
        settings.WriteString(declinedName, answer.version);
    if (agreed != 1 || closing)
        return 0;
    return (DWORD)Install(answer);
}

int AutoUpdater::Ask(Question question) {
    // The hook answers 1 for Yes and 2 for No; 0 is also what a window that is gone answers.
    LRESULT answer = SendMessageW(window, updateMessage, question, 0);
    return answer == 1 ? 1 : answer == 2 ? 0 : -1;
}

int AutoUpdater::HookProc(HWND target, UINT message, WPARAM wParam, LPARAM, LRESULT* result, void* userData) {
    AutoUpdater* self = static_cast<AutoUpdater*>(userData);
    if (message == self->updateMessage && (wParam == QUESTION_UPDATE || wParam == QUESTION_RESTART)) {
        // Asked while the program closes (Abort lets sent messages through as it waits): nothing is shown.
        if (self->closing) {
            *result = 0;
            return 1;
        }
        UINT style = MB_YESNO | MB_ICONQUESTION;
        if (wParam == QUESTION_UPDATE && !self->help.IsEmpty())
            style |= MB_HELP;
        self->boxOpen = 1;
        int chosen =
            MessageBoxW(target, wParam == QUESTION_UPDATE ? self->info : self->restartText, self->application, style);
        self->boxOpen = 0;
        // A box taken away with its window (the program closing) returns whatever it likes: no answer.
        *result = self->closing ? 0 : chosen == IDYES ? 1 : chosen == IDNO ? 2 : 0;
        return 1;
    }
    if (message == WM_HELP && self->boxOpen) {
        // The answer comes from the network: a link that is no web address could name a program to run.
        if (UpdateNames::IsWebAddress(self->help))
            ShellStart(self->help, nullptr, nullptr);
        return 1;
    }
    return 0;
}

int AutoUpdater::Install(const UpdateAnswer& answer) {
    if (programFolder.IsEmpty() && !VersionInfo::ModuleDirectory(nullptr, programFolder))
        return 0;
    UpdateInstall install(http, closing, programFolder, installerFolder, keyConfigured, networkDeadline);
    UpdateInstall::Result result = install.Run(answer);
    if (result == UpdateInstall::FAILED)
        return 0;
    installerPath = install.InstallerPath();
    Restart(answer, result == UpdateInstall::OWN_FILE_WAITING);
    return 1;
}

void AutoUpdater::Restart(const UpdateAnswer& answer, int ownFileWaiting) {
    // No restart text: the new files take effect at the next start; nor while the program closes.
    if (!answer.hasRestart || closing)
        return;
    if (!answer.restart.IsEmpty() && !Ask(QUESTION_RESTART))
        return;
    WString file;
    int started = 0;
    if (!installerPath.IsEmpty()) {
        started = ShellStart(installerPath, nullptr, nullptr);
    } else if (!answer.execute.IsEmpty()) {
        // Relative to the program folder, not to whatever the current folder happens to be.
        file = programFolder;
        file.Append(answer.execute);
        started = ShellStart(file, nullptr, programFolder);
    } else if (VersionInfo::ModulePath(nullptr, file)) {
        // The new version comes back as this one was started: a resident instance (-s) stays resident,
        // a portable one (-p) keeps its settings beside the program, rather than a bare start showing
        // the menu once and ending. The program's own file, which Windows keeps while it runs, is put in
        // place by the copy of this version once this process has ended, which then starts it.
        started = ownFileWaiting ? SwapRecovery::StartFinisher(file, SwapRecovery::OwnArguments())
                                 : ShellStart(file, SwapRecovery::OwnArguments(), programFolder);
    }
    // Only a successor that started may end this instance.
    if (started)
        PostMessageW(window, WM_CLOSE, 0, 0);
}
