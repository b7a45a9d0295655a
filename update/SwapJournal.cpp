#include "update/SwapJournal.h"

#include "base/KernelHandle.h"
#include "update/ContainedPath.h"
#include "update/UpdateNames.h"

#include <wchar.h>

namespace {

const wchar_t Heading[] = L"Veltrix update journal 1";

// A decimal number of at most nine digits and nothing after it.
int ReadNumber(const wchar_t* text, unsigned* value) {
    unsigned n = 0, digits = 0;
    for (; *text >= L'0' && *text <= L'9'; text++, digits++) {
        if (digits == 9)
            return 0;
        n = n * 10 + (unsigned)(*text - L'0');
    }
    *value = n;
    return digits > 0 && !*text;
}

int StartsWith(const wchar_t* text, const wchar_t* prefix, const wchar_t** rest) {
    size_t n = wcslen(prefix);
    if (wcsncmp(text, prefix, n) != 0)
        return 0;
    *rest = text + n;
    return 1;
}

} // namespace

void SwapJournal::PathOf(const wchar_t* folder, WString& path) {
    path.Assign(folder);
    path.Append(FileName);
}

int SwapJournal::Exists(const wchar_t* folder) {
    WString path;
    PathOf(folder, path);
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

int SwapJournal::Remove(const wchar_t* folder) {
    WString path;
    PathOf(folder, path);
    return DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

int SwapJournal::IsInstallerDownload(const wchar_t* path) {
    const wchar_t* name = wcsrchr(path, L'\\');
    if (!name || name == path || wcschr(path, L'/') || wcsstr(path, L"\\.."))
        return 0;
    name++;
    return _wcsnicmp(name, L"~veltrix-download-", 18) == 0 && wcslen(name) == 18 + 8 + 1 + 8 + 4 &&
           _wcsicmp(name + 35, L".tmp") == 0;
}

int SwapJournal::ReadLine(const wchar_t* line) {
    const wchar_t* rest = nullptr;
    unsigned number = 0;
    if (StartsWith(line, L"state ", &rest))
        return ReadNumber(rest, &number) && number <= CONFIRMED && ((state = (State)number), 1);
    if (StartsWith(line, L"version ", &rest))
        return version.Assign(rest);
    if (StartsWith(line, L"starts ", &rest))
        return ReadNumber(rest, &starts);
    if (StartsWith(line, L"owner ", &rest)) {
        if (!ReadNumber(rest, &number))
            return 0;
        owner = number;
        return 1;
    }
    if (StartsWith(line, L"handovers ", &rest))
        return ReadNumber(rest, &handovers);
    if (StartsWith(line, L"installer ", &rest))
        return IsInstallerDownload(rest) && installerDownload.Assign(rest);
    if (targets.size() + downloads.size() + folders.size() >= MaxTargets)
        return 0;
    if (StartsWith(line, L"target ", &rest)) {
        Target target;
        if ((rest[0] != L'0' && rest[0] != L'1') || rest[1] != L' ' || !UpdateNames::IsUpdatable(rest + 2))
            return 0;
        target.existed = rest[0] == L'1';
        target.name.Assign(rest + 2);
        targets.push_back(target);
        return 1;
    }
    if (StartsWith(line, L"download ", &rest) && UpdateNames::IsUpdatable(rest)) {
        downloads.push_back(rest);
        return 1;
    }
    if (StartsWith(line, L"folder ", &rest) && IsContainedName(rest, 1)) {
        folders.push_back(rest);
        return 1;
    }
    return 0;
}

int SwapJournal::Load(const wchar_t* folder) {
    *this = SwapJournal();
    WString path;
    PathOf(folder, path);
    KernelHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > MaxBytes || size.QuadPart % 2)
        return 0;
    std::vector<wchar_t> text((size_t)size.QuadPart / 2 + 1);
    DWORD got = 0;
    if (!ReadFile(file.Get(), text.data(), (DWORD)size.QuadPart, &got, nullptr) || got != size.QuadPart)
        return 0;
    text[got / 2] = 0;
    wchar_t* line = text.data();
    int lines = 0;
    while (*line) {
        wchar_t* end = wcschr(line, L'\n');
        if (!end)
            return 0; // cut short: not a record this program wrote whole
        *end = 0;
        if (lines++ == 0 ? wcscmp(line, Heading) != 0 : !ReadLine(line))
            return 0;
        line = end + 1;
    }
    return lines > 0 && !version.IsEmpty();
}

int SwapJournal::Save(const wchar_t* folder) const {
    WString text, line;
    text.Format(L"%s\nstate %u\nversion %s\nstarts %u\nhandovers %u\nowner %lu\n", Heading, (unsigned)state,
                (const wchar_t*)version, starts, handovers, (unsigned long)owner);
    for (const Target& target : targets) {
        line.Format(L"target %d %s\n", target.existed ? 1 : 0, (const wchar_t*)target.name);
        text.Append(line);
    }
    for (const WString& name : downloads) {
        line.Format(L"download %s\n", (const wchar_t*)name);
        text.Append(line);
    }
    for (const WString& name : folders) {
        line.Format(L"folder %s\n", (const wchar_t*)name);
        text.Append(line);
    }
    if (!installerDownload.IsEmpty()) {
        line.Format(L"installer %s\n", (const wchar_t*)installerDownload);
        text.Append(line);
    }
    DWORD bytes = (DWORD)text.Length() * sizeof(wchar_t);
    if (bytes > MaxBytes)
        return 0;
    WString path, temporary;
    PathOf(folder, path);
    temporary.Format(L"%s.tmp", (const wchar_t*)path);
    {
        KernelHandle file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        DWORD written = 0;
        if (!file.Valid() || !WriteFile(file.Get(), text.Buffer(), bytes, &written, nullptr) || written != bytes ||
            !FlushFileBuffers(file.Get()))
            return 0;
    }
    return MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
