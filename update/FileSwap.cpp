#include "update/FileSwap.h"

#include "base/KernelHandle.h"
#include "update/UpdateNames.h"

namespace {

FileSwap::StepHook stepHook = nullptr;
void* stepContext = nullptr;

int Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// A user or a copy tool may have left a file read-only: it could then be neither replaced nor deleted.
void MakeWritable(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Renamed over the target in one step, on the disk before the call returns. A virus scanner or indexer
// may hold a fresh file for a moment, so a refused rename is tried again for two seconds.
int Replace(const wchar_t* source, const wchar_t* target) {
    MakeWritable(target);
    for (int attempt = 0; attempt < 20; attempt++) {
        if (MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 1;
        Sleep(100);
    }
    return 0;
}

// A copy whose bytes are on the disk when this returns.
int DurableCopy(const wchar_t* source, const wchar_t* target) {
    MakeWritable(target);
    if (!CopyFileW(source, target, FALSE))
        return 0;
    KernelHandle copy(CreateFileW(target, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return copy.Valid() && FlushFileBuffers(copy.Get());
}

// The same file, whatever the case or the separators of the two names.
int SamePath(const wchar_t* a, const wchar_t* b) {
    if (!a || !b)
        return 0;
    WString left, right;
    UpdateNames::Normalized(a, left);
    UpdateNames::Normalized(b, right);
    return left.Compare(right) == 0;
}

} // namespace

void FileSwap::SetStepHook(StepHook hook, void* context) {
    stepHook = hook;
    stepContext = context;
}

int FileSwap::Step() {
    if (!stopped && stepHook && !stepHook(stepContext))
        stopped = 1;
    return !stopped;
}

void FileSwap::PathOf(const WString& name, const wchar_t* mark, WString& path) const {
    WString plain(folder);
    plain.Append(name);
    for (wchar_t* p = plain.Buffer(); *p; p++)
        if (*p == L'/')
            *p = L'\\';
    if (mark)
        UpdateNames::MarkedPath(plain, mark, path);
    else
        path = plain;
}

int FileSwap::Save(SwapJournal::State state) {
    journal.state = state;
    return journal.Save(folder) && Step();
}

int FileSwap::RemoveFile(const WString& path) {
    MakeWritable(path);
    int removed = DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    return removed && Step();
}

int FileSwap::Backup() {
    for (const SwapJournal::Target& target : journal.targets) {
        WString path, old, staged;
        PathOf(target.name, nullptr, path);
        PathOf(target.name, L"_old", old);
        PathOf(target.name, L"_new", staged);
        // A renamed file whose bytes were still in the cache at a power cut would be a program of zeros.
        KernelHandle file(CreateFileW(staged, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.Valid() || !FlushFileBuffers(file.Get()))
            return 0;
        if (target.existed && (!DurableCopy(path, old) || !Step()))
            return 0;
    }
    return Save(SwapJournal::MOVE);
}

FileSwap::Result FileSwap::MoveIn(const wchar_t* running) {
    int leftRunning = 0;
    for (const SwapJournal::Target& target : journal.targets) {
        WString path, staged;
        PathOf(target.name, nullptr, path);
        PathOf(target.name, L"_new", staged);
        // Gone: this one is in place already (a rename is all or nothing).
        if (!Exists(staged))
            continue;
        if (SamePath(path, running)) {
            leftRunning = 1;
            continue;
        }
        if (!Replace(staged, path) || !Step())
            return FAILED;
    }
    if (leftRunning)
        return LEFT_RUNNING;
    journal.starts = 0;
    return Save(SwapJournal::DONE) ? COMPLETE : FAILED;
}

FileSwap::Result FileSwap::Undo(const wchar_t* running) {
    if (journal.state != SwapJournal::UNDO && !Save(SwapJournal::UNDO))
        return FAILED;
    int leftRunning = 0, ok = 1;
    for (size_t i = journal.targets.size(); i-- > 0 && !stopped;) {
        const SwapJournal::Target& target = journal.targets[i];
        WString path, staged, old;
        PathOf(target.name, nullptr, path);
        PathOf(target.name, L"_new", staged);
        PathOf(target.name, L"_old", old);
        if (Exists(staged)) {
            // Never put in place: the target is as it was, and its copy is only a copy.
            ok &= RemoveFile(staged);
            if (target.existed)
                ok &= RemoveFile(old);
        } else if (SamePath(path, running) && (target.existed ? Exists(old) : Exists(path))) {
            leftRunning = 1;
        } else if (target.existed && Exists(old)) {
            // Should the rename stay refused, a copy takes the place and the "_old" file stays as a second.
            if (Replace(old, path) || DurableCopy(old, path))
                ok &= Step();
            else
                ok = 0;
        } else if (!target.existed) {
            ok &= RemoveFile(path);
        }
    }
    if (stopped || !ok)
        return FAILED;
    RemoveLeftovers(0);
    if (stopped)
        return FAILED;
    if (leftRunning)
        return LEFT_RUNNING;
    return SwapJournal::Remove(folder) && Step() ? COMPLETE : FAILED;
}

void FileSwap::RemoveLeftovers(int withCopies) {
    for (const SwapJournal::Target& target : journal.targets) {
        WString staged, old;
        PathOf(target.name, L"_new", staged);
        RemoveFile(staged);
        if (withCopies && target.existed) {
            PathOf(target.name, L"_old", old);
            RemoveFile(old);
        }
    }
    for (const WString& name : journal.downloads) {
        WString path;
        PathOf(name, L"_new", path);
        RemoveFile(path);
    }
    if (!journal.installerDownload.IsEmpty())
        RemoveFile(journal.installerDownload);
    // Newest first, and only when empty: a folder that holds anything else stays.
    for (size_t i = journal.folders.size(); i-- > 0;) {
        WString path;
        PathOf(journal.folders[i], nullptr, path);
        RemoveDirectoryW(path);
    }
}

int FileSwap::Discard() {
    RemoveLeftovers(1);
    return !stopped && SwapJournal::Remove(folder) && Step();
}

int FileSwap::Finish() {
    if (journal.state != SwapJournal::CONFIRMED && !Save(SwapJournal::CONFIRMED))
        return 0;
    int ok = 1;
    for (const SwapJournal::Target& target : journal.targets) {
        WString old;
        PathOf(target.name, L"_old", old);
        if (target.existed)
            ok &= RemoveFile(old);
    }
    return ok && !stopped && SwapJournal::Remove(folder) && Step();
}
