#include "update/UpdateInstall.h"

#include "base/KernelHandle.h"
#include "framework/VersionInfo.h"
#include "update/ExtractArchive.h"
#include "update/FileSwap.h"
#include "update/UpdateNames.h"

#include <shlobj.h>

#include <string>

namespace {

const wchar_t UserAgent[] = L"AutoUpdate";

int Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
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

} // namespace

int UpdateInstall::RequestHook(int code, void*, void*) {
    // Nothing goes with a check but what it names: no cookie a server (or whatever sits between) set on an
    // earlier answer comes back with the next, and none is kept.
    return code == HTTP_COOKIES ? 0 : 1;
}

UpdateInstall::Result UpdateInstall::Run(const UpdateAnswer& answer) {
    installerPath.Assign(L"");
    int intoProgramFolder = 0;
    for (const UpdateFile& file : answer.files)
        intoProgramFolder |= !file.name.IsEmpty();
    // One update at a time: the one before stays undone until its new version has started.
    if (intoProgramFolder && SwapJournal::Exists(programFolder))
        return FAILED;
    WString running;
    VersionInfo::ModulePath(nullptr, running);
    SwapJournal journal;
    journal.version = answer.version;
    journal.owner = GetCurrentProcessId();
    FileSwap swap(programFolder, journal);
    std::vector<WString> downloads;
    // Recorded before the first byte arrives, so that a start after a crash removes what was downloaded.
    int done = PlanDownloads(answer, downloads, journal) && (!intoProgramFolder || swap.Save(SwapJournal::STAGE)) &&
               DownloadAll(answer, downloads) && check.Downloads(answer, downloads) && !*closing &&
               NameInstaller(answer, downloads);
    if (done && intoProgramFolder) {
        journal.installerDownload.Assign(L"");
        done = Stage(answer, downloads, journal) && swap.Save(SwapJournal::STAGE) && check.Staged(answer, journal) &&
               swap.Backup();
    }
    FileSwap::Result moved = FileSwap::FAILED;
    if (done)
        moved = intoProgramFolder ? swap.MoveIn(running) : FileSwap::COMPLETE;
    if (swap.Stopped())
        return FAILED;
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
        return FAILED;
    }
    return moved == FileSwap::LEFT_RUNNING ? OWN_FILE_WAITING : COMPLETE;
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

int UpdateInstall::PlanDownloads(const UpdateAnswer& answer, std::vector<WString>& downloads, SwapJournal& journal) {
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

int UpdateInstall::DownloadAll(const UpdateAnswer& answer, std::vector<WString>& downloads) {
    for (size_t i = 0; i < answer.files.size(); i++) {
        const UpdateFile& file = answer.files[i];
        if (*closing)
            return 0;
        // The signed size bounds the download (one byte more tells a longer body), else the largest file.
        unsigned long long limit = (file.hasSize ? file.size : UpdateAnswer::MaxFileBytes) + 1;
        http->SetDeadline(DownloadDeadline(file));
        if (!http->Download(file.url, UserAgent, downloads[i], (DWORD)limit, RequestHook, nullptr,
                            L"Accept: */*\r\n\r\n", (DWORD)-1, nullptr, (DWORD)-1, 0, L""))
            return 0;
    }
    return 1;
}

// The verified installer gets its name from the answer, on the desktop, but never one that exists: a
// user's "Setup.exe" stays, and the download becomes "Setup (2).exe".
int UpdateInstall::NameInstaller(const UpdateAnswer& answer, std::vector<WString>& downloads) {
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

// Every file of the program folder the update writes, under its "_new" name: a download already is; an
// archive is unpacked so, with every file it holds (it may carry more than the file it is named after),
// and removed. Whether each target was there before decides whether it gets an "_old" copy.
int UpdateInstall::Stage(const UpdateAnswer& answer, std::vector<WString>& downloads, SwapJournal& journal) {
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

DWORD UpdateInstall::DownloadDeadline(const UpdateFile& file) const {
    // As long as the answer's fetch may take, and a second more for every 16 KiB of the file, as if it came
    // over a slow line; without a known size, as for the largest file.
    unsigned long long size = file.hasSize ? file.size : UpdateAnswer::MaxFileBytes;
    unsigned long long deadline = networkDeadline + size / 16;
    const unsigned long long longest = 30ull * 60 * 1000;
    return (DWORD)(deadline < longest ? deadline : longest);
}
