#include "update/AutoUpdater.h"

#include "base/ComApartment.h"
#include "base/KernelHandle.h"
#include "base/ShellRequest.h"
#include "framework/VersionInfo.h"
#include "sysinfo/MachineId.h"
#include "update/BuildArchitecture.h"
#include "update/ExtractArchive.h"
#include "update/FileSwap.h"
#include "update/PeHeader.h"
#include "update/SwapRecovery.h"
#include "update/UpdateNames.h"
#include "update/UpdateSignature.h"

#include <shlobj.h>

#include <string>
#include <time.h>

namespace {

const wchar_t UserAgent[] = L"AutoUpdate";

int Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

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

// Removes a download of a failed attempt. A virus scanner or indexer may hold a fresh file open for a
// moment, so a refused delete is tried again for up to two seconds.
void RemoveDownload(const wchar_t* path) {
    for (int attempt = 0; attempt < 20; attempt++) {
        if (DeleteFileW(path))
            return;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return;
        Sleep(100);
    }
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

int AutoUpdater::RequestHook(int code, void*, void*) {
    // Nothing goes with a check but what it names: no cookie a server (or whatever sits between) set on an
    // earlier answer comes back with the next, and none is kept.
    return code == HTTP_COOKIES ? 0 : 1;
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

DWORD AutoUpdater::DownloadDeadline(const UpdateFile& file) const {
    // As long as the answer's fetch may take, and a second more for every 16 KiB of the file, as if it came
    // over a slow line; without a known size, as for the largest file.
    unsigned long long size = file.hasSize ? file.size : MaxDownloadBytes;
    unsigned long long deadline = networkDeadline + size / 16;
    const unsigned long long longest = 30ull * 60 * 1000;
    return (DWORD)(deadline < longest ? deadline : longest);
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
    int intoProgramFolder = 0;
    for (const UpdateFile& file : answer.files)
        intoProgramFolder |= !file.name.IsEmpty();
    // One update at a time: the one before stays undone until its new version has started.
    if (intoProgramFolder && SwapJournal::Exists(programFolder))
        return 0;
    WString running;
    VersionInfo::ModulePath(nullptr, running);
    SwapJournal journal;
    journal.version = answer.version;
    journal.owner = GetCurrentProcessId();
    FileSwap swap(programFolder, journal);
    std::vector<WString> downloads;
    // Recorded before the first byte arrives, so that a start after a crash removes what was downloaded.
    int done = PlanDownloads(answer, downloads, journal) && (!intoProgramFolder || swap.Save(SwapJournal::STAGE)) &&
               DownloadAll(answer, downloads) && VerifyDownloads(answer, downloads) && !closing &&
               NameInstaller(answer, downloads);
    if (done && intoProgramFolder) {
        journal.installerDownload.Assign(L"");
        done = Stage(answer, downloads, journal) && swap.Save(SwapJournal::STAGE) && VerifyStaged(answer, journal) &&
               swap.Backup();
    }
    FileSwap::Result moved = FileSwap::FAILED;
    if (done)
        moved = intoProgramFolder ? swap.MoveIn(running) : FileSwap::COMPLETE;
    if (swap.Stopped())
        return 0;
    if (moved == FileSwap::FAILED) {
        // First by the journal, which tells a "_new" file still waiting from one already in place.
        if (intoProgramFolder && journal.state == SwapJournal::STAGE)
            swap.Discard();
        else if (intoProgramFolder)
            swap.Undo(running);
        for (const WString& path : downloads)
            RemoveDownload(path);
        if (!installerPath.IsEmpty())
            RemoveDownload(installerPath);
        installerPath.Assign(L"");
        return 0;
    }
    Restart(answer, moved == FileSwap::LEFT_RUNNING);
    return 1;
}

namespace {

// A file of our own under a name nobody uses, made now (CREATE_NEW), so that a download never lands on a
// file that was there before.
int ReserveFreshFile(const wchar_t* folder, WString& path) {
    static LONG counter = 0;
    for (int attempt = 0; attempt < 16; attempt++) {
        path.Format(L"%s\\~veltrix-download-%08lX-%08lX.tmp", folder, GetCurrentProcessId(),
                    (unsigned long)(GetTickCount() ^ (DWORD)InterlockedIncrement(&counter) << 20));
        KernelHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Valid())
            return 1;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    path.Assign(L"");
    return 0;
}

} // namespace

int AutoUpdater::PlanDownloads(const UpdateAnswer& answer, std::vector<WString>& downloads, SwapJournal& journal) {
    // Nothing to fetch is no update: nothing is moved and nothing restarts.
    if (answer.files.empty())
        return 0;
    for (const UpdateFile& file : answer.files) {
        WString path;
        if (file.name.IsEmpty()) {
            // The installer goes to the desktop, where the user's own files are: under a fresh name of its
            // own until it is verified and named (NameInstaller).
            wchar_t desktop[MAX_PATH];
            if (!installerFolder.IsEmpty())
                wcsncpy(desktop, installerFolder, MAX_PATH - 1)[MAX_PATH - 1] = 0;
            else if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, desktop)))
                return 0;
            if (!ReserveFreshFile(desktop, path))
                return 0;
            journal.installerDownload = path;
        } else {
            const WString& name = file.zip.IsEmpty() ? file.name : file.zip;
            WString source(programFolder);
            source.Append(name);
            UpdateNames::MarkedPath(source, L"_new", path);
            journal.downloads.push_back(name);
        }
        downloads.push_back(path);
    }
    return 1;
}

int AutoUpdater::DownloadAll(const UpdateAnswer& answer, std::vector<WString>& downloads) {
    for (size_t i = 0; i < answer.files.size(); i++) {
        const UpdateFile& file = answer.files[i];
        if (closing)
            return 0;
        // The signed size bounds the download (one byte more tells a longer body), else the largest file.
        unsigned long long limit = (file.hasSize ? file.size : MaxDownloadBytes) + 1;
        http.SetDeadline(DownloadDeadline(file));
        if (!http.Download(file.url, UserAgent, downloads[i], (DWORD)limit, RequestHook, nullptr,
                           L"Accept: */*\r\n\r\n", (DWORD)-1, nullptr, (DWORD)-1, 0, L""))
            return 0;
    }
    return 1;
}

// Between the downloads and the first rename: nothing may replace a file of the program unless every
// download is there with the size and SHA-256 the answer gave (signed, in a build with the publisher's
// key), is no larger than any release, and, for an archive, holds only names an update may write. A file
// that replaces the program itself must also be the version the answer announced, so that a validly
// signed older release cannot be passed off as a newer one, and built for this program's machine; so must
// every other program or library that goes into the program folder (an installer, which runs on its own
// wherever it is, may be of either). The machine type is read from the files themselves: a signed answer
// of the right architecture can still list the other build's files by mistake, which would not load, or
// would start the other build.
int AutoUpdater::VerifyDownloads(const UpdateAnswer& answer, const std::vector<WString>& downloads) {
    if (downloads.size() != answer.files.size())
        return 0;
    for (size_t i = 0; i < downloads.size(); i++) {
        const UpdateFile& file = answer.files[i];
        wchar_t hash[65];
        unsigned long long size = 0;
        if (!UpdateSignature::HashFile(downloads[i], hash, &size) || size > MaxDownloadBytes)
            return 0;
        if ((file.hasSize && size != file.size) || (!file.sha256.IsEmpty() && file.sha256.CompareNoCase(hash) != 0))
            return 0;
        if (keyConfigured && !answer.isSigned)
            return 0;
        if (!file.zip.IsEmpty()) {
            std::vector<std::wstring> entries;
            if (!ListArchive(downloads[i], entries))
                return 0;
            for (const std::wstring& entry : entries) {
                // A folder's name obeys the rules of a file's: "Veltrix.exe.local\" redirects the loader.
                if (entry.back() == L'\\') {
                    if (!UpdateNames::IsUpdatable(entry.substr(0, entry.size() - 1).c_str()))
                        return 0;
                    continue;
                }
                if (!UpdateNames::IsUpdatable(entry.c_str()))
                    return 0;
                // The program's own file in an archive may have any name; its version is known only once it
                // is unpacked, but the machine type of every entry is read now, so that nothing moves.
                WString path(programFolder);
                path.Append(entry.c_str());
                std::vector<BYTE> start;
                if (!ReadArchiveStart(downloads[i], entry.c_str(), PeHeader::HeaderBytes, start) ||
                    !IsOwnMachine(PeHeader::MachineOf(start.data(), start.size()), IsOwnPath(path)))
                    return 0;
            }
        } else if (!file.name.IsEmpty()) {
            if (!IsOwnMachine(PeHeader::ReadMachine(downloads[i]), IsOwnFile(file)) ||
                (IsOwnFile(file) && !HasVersion(downloads[i], answer)))
                return 0;
        }
    }
    return 1;
}

// A file's machine type (0 for a file that is no program or library) fits this build: the program itself
// must be one of its machine, any other file may also be no program at all.
int AutoUpdater::IsOwnMachine(WORD machine, int isProgram) {
    return machine == BuildMachine || (!isProgram && machine == 0);
}

// The verified installer gets its name from the answer, on the desktop, but never one that exists: a
// user's "Setup.exe" stays, and the download becomes "Setup (2).exe".
int AutoUpdater::NameInstaller(const UpdateAnswer& answer, std::vector<WString>& downloads) {
    for (size_t i = 0; i < answer.files.size(); i++) {
        if (!answer.files[i].name.IsEmpty())
            continue;
        WString name, stem, extension, folder(downloads[i]);
        UpdateNames::InstallerName(answer.files[i].url, name);
        folder.Left(folder.LastIndexOf(L'\\'));
        int dot = name.LastIndexOf(L'.');
        stem.Assign(name, dot > 0 ? (unsigned)dot : (unsigned)name.Length());
        extension.Assign(dot > 0 ? name.At(dot) : L"");
        for (int number = 1;; number++) {
            if (number > 99)
                return 0;
            WString target;
            if (number == 1)
                target.Format(L"%s\\%s", (const wchar_t*)folder, (const wchar_t*)name);
            else
                target.Format(L"%s\\%s (%d)%s", (const wchar_t*)folder, (const wchar_t*)stem, number,
                              (const wchar_t*)extension);
            // Without MOVEFILE_REPLACE_EXISTING: a name taken meanwhile is never overwritten.
            if (MoveFileExW(downloads[i], target, 0)) {
                downloads[i] = target;
                installerPath = target;
                break;
            }
            DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
                return 0;
        }
    }
    return 1;
}

int AutoUpdater::IsOwnPath(const wchar_t* path) const {
    WString self, own(programFolder), target;
    if (!VersionInfo::ModulePath(nullptr, self))
        return 0;
    const wchar_t* ownName = wcsrchr(self, L'\\');
    own.Append(ownName ? ownName + 1 : (const wchar_t*)self);
    UpdateNames::Normalized(path, target);
    UpdateNames::Normalized(own, self);
    return target.Compare(self) == 0;
}

int AutoUpdater::IsOwnFile(const UpdateFile& file) const {
    WString self;
    if (file.name.IsEmpty() || !VersionInfo::ModulePath(nullptr, self))
        return 0;
    const wchar_t* ownName = wcsrchr(self, L'\\');
    ownName = ownName ? ownName + 1 : (const wchar_t*)self;
    WString target(programFolder), own(programFolder);
    target.Append(file.name);
    own.Append(ownName);
    // Both spellings of the separator reach the same file.
    for (wchar_t* p = target.Buffer(); *p; p++) {
        if (*p == L'/')
            *p = L'\\';
    }
    return _wcsicmp(target, own) == 0;
}

int AutoUpdater::HasVersion(const wchar_t* path, const UpdateAnswer& answer) {
    unsigned major = 0, minor = 0;
    return VersionInfo::FileVersionText(path, &major, &minor, nullptr) && major == answer.major &&
           minor == answer.minor;
}

// Every file of the program folder the update writes, under its "_new" name: a download already is; an
// archive is unpacked so, with every file it holds (it may carry more than the file it is named after),
// and removed. Whether each target was there before decides whether it gets an "_old" copy.
int AutoUpdater::Stage(const UpdateAnswer& answer, std::vector<WString>& downloads, SwapJournal& journal) {
    auto add = [&](const wchar_t* name) {
        WString normal, known;
        UpdateNames::Normalized(name, normal);
        for (const SwapJournal::Target& target : journal.targets) {
            UpdateNames::Normalized(target.name, known);
            if (known.Compare(normal) == 0)
                return;
        }
        SwapJournal::Target target;
        target.name.Assign(name);
        WString path(programFolder);
        path.Append(name);
        target.existed = Exists(path);
        journal.targets.push_back(target);
    };
    for (size_t i = 0; i < answer.files.size(); i++) {
        const UpdateFile& file = answer.files[i];
        if (file.name.IsEmpty())
            continue;
        if (file.zip.IsEmpty()) {
            add(file.name);
            continue;
        }
        std::vector<std::wstring> entries, made;
        if (!ListArchive(downloads[i], entries))
            return 0;
        for (const std::wstring& entry : entries)
            if (entry.back() != L'\\')
                add(entry.c_str());
        // Recorded before the first file is written, so that a crash while unpacking leaves nothing behind.
        if (!FileSwap(programFolder, journal).Save(SwapJournal::STAGE))
            return 0;
        int unpacked = ExtractArchive(downloads[i], programFolder, L"_new", &made);
        for (const std::wstring& folder : made)
            journal.folders.push_back(folder.c_str());
        RemoveDownload(downloads[i]);
        if (!unpacked)
            return 0;
    }
    return 1;
}

// The program's own file from an archive (listed under any name) is known only once unpacked, and must be
// the announced version for this machine too; the wrong one puts nothing in place.
int AutoUpdater::VerifyStaged(const UpdateAnswer& answer, const SwapJournal& journal) {
    for (const SwapJournal::Target& target : journal.targets) {
        WString path(programFolder), staged;
        path.Append(target.name);
        if (!IsOwnPath(path))
            continue;
        UpdateNames::MarkedPath(path, L"_new", staged);
        if (PeHeader::ReadMachine(staged) != BuildMachine || !HasVersion(staged, answer))
            return 0;
    }
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
