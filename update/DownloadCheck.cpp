#include "update/DownloadCheck.h"

#include "framework/VersionInfo.h"
#include "update/BuildArchitecture.h"
#include "update/ExtractArchive.h"
#include "update/PeHeader.h"
#include "update/UpdateNames.h"
#include "update/UpdateSignature.h"

#include <string>

// Between the downloads and the first rename: nothing may replace a file of the program unless every
// download is there with the size and SHA-256 the answer gave (signed, in a build with the publisher's
// key), is no larger than any release, and, for an archive, holds only names an update may write. A file
// that replaces the program itself must also be the version the answer announced, so that a validly
// signed older release cannot be passed off as a newer one, and built for this program's machine; so must
// every other program or library that goes into the program folder (an installer, which runs on its own
// wherever it is, may be of either). The machine type is read from the files themselves: a signed answer
// of the right architecture can still list the other build's files by mistake, which would not load, or
// would start the other build.
int DownloadCheck::Downloads(const UpdateAnswer& answer, const std::vector<WString>& downloads) const {
    if (downloads.size() != answer.files.size())
        return 0;
    for (size_t i = 0; i < downloads.size(); i++) {
        const UpdateFile& file = answer.files[i];
        wchar_t hash[65];
        unsigned long long size = 0;
        if (!UpdateSignature::HashFile(downloads[i], hash, &size) || size > UpdateAnswer::MaxFileBytes)
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
int DownloadCheck::IsOwnMachine(WORD machine, int isProgram) {
    return machine == BuildMachine || (!isProgram && machine == 0);
}

int DownloadCheck::IsOwnPath(const wchar_t* path) const {
    WString self, own(programFolder), target;
    if (!VersionInfo::ModulePath(nullptr, self))
        return 0;
    const wchar_t* ownName = wcsrchr(self, L'\\');
    own.Append(ownName ? ownName + 1 : (const wchar_t*)self);
    UpdateNames::Normalized(path, target);
    UpdateNames::Normalized(own, self);
    return target.Compare(self) == 0;
}

int DownloadCheck::IsOwnFile(const UpdateFile& file) const {
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

int DownloadCheck::HasVersion(const wchar_t* path, const UpdateAnswer& answer) {
    unsigned major = 0, minor = 0;
    return VersionInfo::FileVersionText(path, &major, &minor, nullptr) && major == answer.major &&
           minor == answer.minor;
}

// The program's own file from an archive (listed under any name) is known only once unpacked, and must be
// the announced version for this machine too; the wrong one puts nothing in place.
int DownloadCheck::Staged(const UpdateAnswer& answer, const SwapJournal& journal) const {
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
