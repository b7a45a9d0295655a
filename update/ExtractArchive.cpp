#include "update/ExtractArchive.h"

#include "base/FileObject.h"
#include "update/ContainedPath.h"
#include "update/UpdateNames.h"

#include <windows.h>
#include <zip.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

const zip_uint64_t CopyBlock = 65536;
// An update is a few files of a few megabytes: an archive beyond these is refused before anything is
// written, whatever its headers say it holds.
const zip_uint64_t MaxEntries = 4096;
const zip_uint64_t MaxUnpackedBytes = 512ull << 20;

// The opened archive; discarded, never written back.
class OpenArchive {
public:
    OpenArchive() = default;
    ~OpenArchive() {
        if (archive)
            zip_discard(archive);
    }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;

    int Open(const wchar_t* path) {
        zip_error_t error;
        zip_error_init(&error);
        // libzip's own file names are UTF-8 on Windows; the wide source opens the file with CreateFileW
        // and needs no conversion at all.
        zip_source_t* source = zip_source_win32w_create(path, 0, -1, &error);
        if (source) {
            // ZIP_CHECKCONS: the local headers must agree with the central directory, or the archive is
            // refused as damaged instead of read as the central directory claims.
            archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
            if (!archive)
                zip_source_free(source);
        }
        zip_error_fini(&error);
        return archive != nullptr;
    }
    zip_t* Get() const { return archive; }

private:
    zip_t* archive = nullptr;
};

class OpenEntry {
public:
    explicit OpenEntry(zip_file_t* file) : file(file) {}
    ~OpenEntry() {
        if (file)
            zip_fclose(file);
    }
    OpenEntry(const OpenEntry&) = delete;
    OpenEntry& operator=(const OpenEntry&) = delete;
    zip_file_t* Get() const { return file; }
    // zip_fclose reports what went wrong while reading (a checksum that does not match, for one).
    int Close() {
        int result = zip_fclose(file);
        file = nullptr;
        return result == 0;
    }

private:
    zip_file_t* file;
};

struct Entry {
    zip_uint64_t index;
    zip_uint64_t size;
    std::wstring name; // relative, with backslashes
    int folder;
    std::wstring path; // final path below the target
    std::wstring temporary;
};

// The "\\?\" form of a full path: no MAX_PATH limit and no reinterpretation of the name by Windows
// (every name reaching it has been checked to mean the same with or without the prefix).
int ExtendedPath(const wchar_t* path, std::wstring& result) {
    if (!path || !path[0])
        return 0;
    if (wcsncmp(path, L"\\\\?\\", 4) == 0) {
        result = path;
        return 1;
    }
    DWORD length = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (!length)
        return 0;
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(path, length, &full[0], nullptr);
    if (!length || length >= full.size())
        return 0;
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0)
        result = L"\\\\?\\UNC\\" + full.substr(2);
    else
        result = L"\\\\?\\" + full;
    return 1;
}

int Utf8ToWide(const char* text, std::wstring& result) {
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0)
        return 0;
    result.assign((size_t)length, L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &result[0], length) != length)
        return 0;
    result.resize((size_t)length - 1);
    return 1;
}

// Whether two entries would land on one file or folder: Windows compares names without regard to case
// (as the ordinal comparison that ignores case does), so "readme.txt" and "README.TXT" are one file and
// the last one written would win; a file and a folder of one name cannot both be made. Folders named by
// several entries' paths ("d\a", "d\b") are one folder, as they should be.
int NamesCollide(const std::vector<Entry>& entries) {
    enum Kind { FILE_ENTRY, FOLDER_ENTRY, FOLDER_ON_PATH };
    std::vector<std::pair<std::wstring, Kind>> names;
    for (const Entry& entry : entries) {
        std::wstring name = entry.folder ? entry.name.substr(0, entry.name.size() - 1) : entry.name;
        names.emplace_back(name, entry.folder ? FOLDER_ENTRY : FILE_ENTRY);
        for (size_t slash = name.find(L'\\'); slash != std::wstring::npos; slash = name.find(L'\\', slash + 1))
            names.emplace_back(name.substr(0, slash), FOLDER_ON_PATH);
    }
    auto order = [](const std::pair<std::wstring, Kind>& a, const std::pair<std::wstring, Kind>& b) {
        return CompareStringOrdinal(a.first.c_str(), (int)a.first.size(), b.first.c_str(), (int)b.first.size(), TRUE) ==
               CSTR_LESS_THAN;
    };
    std::sort(names.begin(), names.end(), order);
    for (size_t first = 0; first < names.size();) {
        size_t last = first, entriesNamed = 0, files = 0;
        for (; last < names.size() && !order(names[first], names[last]); last++) {
            entriesNamed += names[last].second != FOLDER_ON_PATH;
            files += names[last].second == FILE_ENTRY;
        }
        if (entriesNamed > 1 || (files && last - first > 1))
            return 1;
        first = last;
    }
    return 0;
}

// Reads every entry's description and refuses the archive on the first one that could write outside the
// target, needs a password or a compression method this build cannot undo, and the whole archive when
// two entries are one file, or it holds more than an update can.
int ReadEntries(zip_t* archive, std::vector<Entry>& entries) {
    zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || (zip_uint64_t)count > MaxEntries)
        return 0;
    zip_uint64_t unpacked = 0;
    for (zip_uint64_t i = 0; i < (zip_uint64_t)count; i++) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, i, 0, &stat) != 0)
            return 0;
        const zip_uint64_t needed = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
        if ((stat.valid & needed) != needed || stat.encryption_method != ZIP_EM_NONE ||
            !zip_compression_method_supported(stat.comp_method, 0))
            return 0;
        Entry entry;
        entry.index = i;
        entry.size = stat.size;
        // Names without the UTF-8 flag come as code page 437, which libzip turns into UTF-8 already.
        if (!Utf8ToWide(stat.name, entry.name))
            return 0;
        for (wchar_t& c : entry.name)
            if (c == L'/')
                c = L'\\';
        if (!IsContainedName(entry.name.c_str(), 1))
            return 0;
        // A Unix symbolic link would come out as a plain file holding the link's target: not what the archive
        // meant, so it is refused like any other entry we cannot reproduce.
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, i, 0, &system, &attributes) != 0 ||
            (system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0170000) == 0120000))
            return 0;
        entry.folder = entry.name.back() == L'\\';
        if (entry.folder && entry.size != 0)
            return 0;
        unpacked += entry.size;
        if (entry.size > MaxUnpackedBytes || unpacked > MaxUnpackedBytes)
            return 0;
        entries.push_back(std::move(entry));
    }
    return !NamesCollide(entries);
}

// Creates `path` and the folders above it below `root`, remembering those it made so that a failed
// extraction can take them away again.
int CreateFolders(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& created) {
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos)
            end = relative.size();
        std::wstring folder = root + relative.substr(0, end);
        if (CreateDirectoryW(folder.c_str(), nullptr))
            created.push_back(folder);
        else {
            DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return 0;
        }
        start = end + 1;
    }
    return 1;
}

int WriteEntry(zip_t* archive, const Entry& entry, std::vector<char>& buffer) {
    OpenEntry file(zip_fopen_index(archive, entry.index, 0));
    if (!file.Get())
        return 0;
    FileObject out;
    if (!out.Open(entry.temporary.c_str(), FileObject::WRITE_CREATE, FILE_ATTRIBUTE_NORMAL, 0))
        return 0;
    zip_uint64_t total = 0;
    for (;;) {
        zip_int64_t got = zip_fread(file.Get(), buffer.data(), CopyBlock);
        if (got < 0)
            return 0;
        if (got == 0)
            break;
        total += (zip_uint64_t)got;
        // Never more than the entry's stated size reaches the disk, whatever the compressed data holds.
        if (total > entry.size || !out.Write((DWORD)got, nullptr, buffer.data()))
            return 0;
    }
    return total == entry.size && file.Close() && out.Close();
}

} // namespace

int ListArchive(const wchar_t* archivePath, std::vector<std::wstring>& files) {
    files.clear();
    std::wstring archiveFull;
    OpenArchive archive;
    std::vector<Entry> entries;
    if (!ExtendedPath(archivePath, archiveFull) || !archive.Open(archiveFull.c_str()) ||
        !ReadEntries(archive.Get(), entries))
        return 0;
    for (const Entry& entry : entries)
        files.push_back(entry.name);
    return 1;
}

int ReadArchiveStart(const wchar_t* archivePath, const wchar_t* name, size_t limit, std::vector<BYTE>& bytes) {
    bytes.clear();
    std::wstring archiveFull, wanted(name ? name : L"");
    OpenArchive archive;
    std::vector<Entry> entries;
    if (!ExtendedPath(archivePath, archiveFull) || !archive.Open(archiveFull.c_str()) ||
        !ReadEntries(archive.Get(), entries))
        return 0;
    for (wchar_t& c : wanted)
        if (c == L'/')
            c = L'\\';
    const Entry* found = nullptr;
    for (const Entry& entry : entries)
        if (!entry.folder && _wcsicmp(entry.name.c_str(), wanted.c_str()) == 0)
            found = &entry;
    OpenEntry file(found ? zip_fopen_index(archive.Get(), found->index, 0) : nullptr);
    if (!file.Get())
        return 0;
    std::vector<BYTE> start(limit);
    size_t total = 0;
    while (total < limit) {
        zip_int64_t got = zip_fread(file.Get(), start.data() + total, limit - total);
        if (got < 0)
            return 0;
        if (got == 0)
            break;
        total += (size_t)got;
    }
    start.resize(total);
    bytes.swap(start);
    return 1;
}

int ExtractArchive(const wchar_t* archivePath, const wchar_t* targetFolder, const wchar_t* stageMark,
                   std::vector<std::wstring>* madeFolders) {
    std::wstring archiveFull, root;
    if (!ExtendedPath(archivePath, archiveFull) || !ExtendedPath(targetFolder, root))
        return 0;
    if (root.back() != L'\\')
        root += L'\\';
    DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;

    OpenArchive archive;
    std::vector<Entry> entries;
    if (!archive.Open(archiveFull.c_str()) || !ReadEntries(archive.Get(), entries))
        return 0;

    // Every file is unpacked beside its final place under a temporary name first and only renamed once
    // all of them are complete: a damaged entry, a full disk or a locked folder half way leaves neither
    // half-written files nor a mix of old and new ones, and the folders made for the attempt are
    // removed again. Only the renames at the end can still stop part way (a file in use); the entries
    // renamed by then are complete new files.
    std::vector<std::wstring> created;
    std::vector<char> buffer(CopyBlock);
    int ok = 1;
    for (Entry& entry : entries) {
        entry.path = root + entry.name;
        if (stageMark && !entry.folder) {
            WString marked;
            UpdateNames::MarkedPath(entry.path.c_str(), stageMark, marked);
            entry.path = (const wchar_t*)marked;
        }
        size_t slash = entry.name.rfind(L'\\', entry.folder ? entry.name.size() - 2 : std::wstring::npos);
        if (entry.folder)
            ok = CreateFolders(root, entry.name.substr(0, entry.name.size() - 1), created);
        else if (slash != std::wstring::npos)
            ok = CreateFolders(root, entry.name.substr(0, slash), created);
        if (ok && !entry.folder) {
            // The suffix keeps the name contained (no trailing dot or space) and unlike any entry's own.
            entry.temporary = entry.path + L".~" + std::to_wstring(entry.index) + L"~";
            ok = WriteEntry(archive.Get(), entry, buffer);
        }
        if (!ok)
            break;
    }
    if (ok) {
        for (Entry& entry : entries) {
            if (entry.folder)
                continue;
            if (ok && MoveFileExW(entry.temporary.c_str(), entry.path.c_str(), MOVEFILE_REPLACE_EXISTING))
                entry.temporary.clear();
            else
                ok = 0;
        }
    }
    if (!ok) {
        for (const Entry& entry : entries)
            if (!entry.temporary.empty())
                DeleteFileW(entry.temporary.c_str());
        // Only folders that were empty before we made them, and are empty again now.
        for (size_t i = created.size(); i-- > 0;)
            RemoveDirectoryW(created[i].c_str());
        return 0;
    }
    if (madeFolders)
        for (const std::wstring& folder : created)
            madeFolders->push_back(folder.substr(root.size()));
    return 1;
}
