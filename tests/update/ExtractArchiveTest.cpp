#include "update/ExtractArchive.h"

#include "TempFolder.h"
#include "update/ContainedPath.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct ZipEntry {
    const char* name; // UTF-8; a trailing "/" makes a folder entry
    std::string content;
    int stored;                // no compression, so the test can find and damage the bytes
    const char* password;      // traditional PKWARE encryption
    zip_uint32_t unixMode = 0; // with a Unix file type, such as a symbolic link
};

// A real archive written by libzip, through a wide path.
int MakeZip(const std::wstring& path, const std::vector<ZipEntry>& entries) {
    zip_source_t* file = zip_source_win32w_create(path.c_str(), 0, -1, nullptr);
    zip_t* archive = file ? zip_open_from_source(file, ZIP_CREATE | ZIP_TRUNCATE, nullptr) : nullptr;
    if (!archive) {
        if (file)
            zip_source_free(file);
        return 0;
    }
    for (const ZipEntry& e : entries) {
        zip_int64_t index = -1;
        if (e.name[strlen(e.name) - 1] == '/')
            index = zip_dir_add(archive, e.name, ZIP_FL_ENC_UTF_8);
        else if (zip_source_t* data = zip_source_buffer(archive, e.content.data(), e.content.size(), 0)) {
            index = zip_file_add(archive, e.name, data, ZIP_FL_ENC_UTF_8);
            if (index < 0)
                zip_source_free(data);
        }
        if (index < 0 || (e.stored && zip_set_file_compression(archive, (zip_uint64_t)index, ZIP_CM_STORE, 0)) ||
            (e.password && zip_file_set_encryption(archive, (zip_uint64_t)index, ZIP_EM_TRAD_PKWARE, e.password)) ||
            (e.unixMode &&
             zip_file_set_external_attributes(archive, (zip_uint64_t)index, 0, ZIP_OPSYS_UNIX, e.unixMode << 16))) {
            zip_discard(archive);
            return 0;
        }
    }
    return zip_close(archive) == 0 || (zip_discard(archive), 0);
}

std::string ReadAll(const std::wstring& path) {
    return TempFolder::Read(path, "<missing>");
}

// Everything below `folder`, sorted, one relative name per line: the whole effect of an extraction.
std::string Listing(const std::wstring& folder, const std::wstring& prefix = L"") {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring relative = prefix + name;
            std::string line(relative.begin(), relative.end());
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                line += "\\\n" + Listing(folder + L"\\" + name, relative + L"\\");
            else
                line += "\n";
            names.push_back(line);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string& line : names)
        all += line;
    return all;
}

} // namespace

TEST(ExtractArchive, RecreatesFoldersAndReplacesExistingFiles) {
    TempFolder temp(L"zip");
    std::wstring target = temp.Folder(L"app");
    temp.Write(L"app\\top.txt", "old version");
    temp.Write(L"app\\keep.txt", "kept");
    std::wstring zip = temp.Path() + L"\\update.zip";
    std::string big(200000, 'x');
    ASSERT_EQ(1, MakeZip(zip, {{"sub/", "", 0, nullptr},
                               {"sub/inner/deep.txt", big, 0, nullptr},
                               {"top.txt", "new version", 0, nullptr}}));
    // The program folder comes with its trailing backslash; a second run overwrites the same files again.
    for (int run = 0; run < 2; run++) {
        ASSERT_EQ(1, ExtractArchive(zip.c_str(), (target + L"\\").c_str()));
        EXPECT_EQ("keep.txt\nsub\\\nsub\\inner\\\nsub\\inner\\deep.txt\ntop.txt\n", Listing(target));
        EXPECT_EQ("new version", ReadAll(target + L"\\top.txt"));
        EXPECT_EQ(big, ReadAll(target + L"\\sub\\inner\\deep.txt"));
    }
}

TEST(ExtractArchive, ExtractsNothingWhenOneEntryWouldLeaveTheTarget) {
    TempFolder temp(L"zip");
    std::wstring target = temp.Folder(L"app");
    const char* outside[] = {"../x.txt",        "/abs.txt", "C:\\x.txt", "C:/x.txt", "a\\..\\..\\b.txt",
                             "sub/../../y.txt", "x:stream", "nul",       "Aux.txt",  "trail./x.txt"};
    for (const char* name : outside) {
        SCOPED_TRACE(name);
        std::wstring zip = temp.Path() + L"\\slip.zip";
        ASSERT_EQ(1, MakeZip(zip, {{"good/first.txt", "a", 0, nullptr},
                                   {name, "evil", 0, nullptr},
                                   {"last.txt", "b", 0, nullptr}}));
        EXPECT_EQ(0, ExtractArchive(zip.c_str(), target.c_str()));
        EXPECT_EQ("app\\\nslip.zip\n", Listing(temp.Path()));
    }
    // Two entries Windows would take for one file or folder.
    for (auto [first, second] : {std::pair{"readme.txt", "README.TXT"}, std::pair{"d/x", "d\\x"}, std::pair{"d", "d/"},
                                 std::pair{"d", "D/x"}, std::pair{"d/", "D/"}}) {
        std::wstring zip = temp.Path() + L"\\twice.zip";
        ASSERT_EQ(1, MakeZip(zip, {{first, "", 0, nullptr}, {second, "", 0, nullptr}}));
        EXPECT_EQ(0, ExtractArchive(zip.c_str(), target.c_str())) << first << " " << second;
    }
    EXPECT_EQ("", Listing(target));
    // A Unix symbolic link, whose data is the path it points at.
    std::wstring zip = temp.Path() + L"\\link.zip";
    ASSERT_EQ(1, MakeZip(zip, {{"first.txt", "a", 0, nullptr}, {"link", "/etc/passwd", 0, nullptr, 0120777}}));
    EXPECT_EQ(0, ExtractArchive(zip.c_str(), target.c_str()));
    EXPECT_EQ("", Listing(target));
}

TEST(ExtractArchive, FailsOnEncryptedDamagedOrMissingArchivesWithoutLeavingAnything) {
    TempFolder temp(L"zip");
    std::wstring target = temp.Folder(L"app");
    std::wstring zip = temp.Path() + L"\\bad.zip";
    ASSERT_EQ(1, zip_encryption_method_supported(ZIP_EM_TRAD_PKWARE, 1));
    ASSERT_EQ(1, MakeZip(zip, {{"plain.txt", "open", 0, nullptr}, {"secret.txt", "hidden", 0, "pass"}}));
    EXPECT_EQ(0, ExtractArchive(zip.c_str(), target.c_str()));
    EXPECT_EQ("", Listing(target));

    // A flipped byte in the second entry's data: its checksum fails after the first file and the
    // folder for the second were already made; both are taken away again.
    std::string marker = "damage-me-" + std::string(100, 'd');
    ASSERT_EQ(1, MakeZip(zip, {{"first.txt", "fine", 1, nullptr}, {"new/second.txt", marker, 1, nullptr}}));
    std::string bytes = ReadAll(zip);
    size_t at = bytes.find(marker);
    ASSERT_NE(std::string::npos, at);
    bytes[at + 50] = 'X';
    temp.Write(L"bad.zip", bytes);
    EXPECT_EQ(0, ExtractArchive(zip.c_str(), target.c_str()));
    EXPECT_EQ("", Listing(target));

    // Cut off half way (the central directory is gone), not an archive at all, no file at all.
    temp.Write(L"bad.zip", bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(0, ExtractArchive(zip.c_str(), target.c_str()));
    temp.Write(L"bad.zip", "just text, not an archive");
    EXPECT_EQ(0, ExtractArchive(zip.c_str(), target.c_str()));
    EXPECT_EQ(0, ExtractArchive((temp.Path() + L"\\none.zip").c_str(), target.c_str()));
    EXPECT_EQ(0, ExtractArchive(zip.c_str(), (temp.Path() + L"\\no-such-folder").c_str()));
    EXPECT_EQ("", Listing(target));
}

TEST(ExtractArchive, TakesPathsTheAnsiCodePageCannotHoldAndLongerThanMaxPath) {
    TempFolder temp(L"zip");
    std::wstring folder = temp.Folder(L"\u03a9 \u30c6");
    std::wstring target = folder + L"\\\u76ee\u6807";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    std::wstring zip = folder + L"\\\u66f4\u65b0 \u03a9.zip";
    ASSERT_EQ(1, MakeZip(zip, {{"\xc3\xbf \xce\xa9/\xe3\x83\x86.txt", "unicode", 0, nullptr}}));
    ASSERT_EQ(1, ExtractArchive(zip.c_str(), target.c_str()));
    EXPECT_EQ("unicode", ReadAll(target + L"\\\u00ff \u03a9\\\u30c6.txt"));

    // An archive and a target below a folder path of more than 260 characters.
    std::wstring deep = L"\\\\?\\" + temp.Path();
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    std::wstring longZip = deep.substr(4) + L"\\long.zip";
    ASSERT_EQ(1, MakeZip(L"\\\\?\\" + longZip, {{"in/long.txt", "long", 0, nullptr}}));
    ASSERT_EQ(1, ExtractArchive(longZip.c_str(), deep.substr(4).c_str()));
    EXPECT_EQ("long", ReadAll(deep + L"\\in\\long.txt"));
    TempFolder::RemoveTree(L"\\\\?\\" + temp.Path());
}

// Damaged and hostile archives as a network could make them: bytes changed, cut, repeated, and entry names
// rewritten with the characters that make paths leave their folder. Nothing may crash, and nothing may
// appear anywhere but inside the target.
TEST(ExtractArchive, MutatedArchivesWriteNothingOutsideTheTarget) {
    TempFolder jail(L"zipfuzz");
    std::wstring in = jail.Folder(L"in"), out = jail.Folder(L"out"), target = jail.Folder(L"out\\t") + L"\\";
    std::wstring zip = in + L"\\a.zip";
    ASSERT_EQ(1, MakeZip(zip, {{"sub/", "", 0, nullptr},
                               {"sub/one.txt", "first entry", 1, nullptr},
                               {"two.bin", std::string(3000, 'z'), 0, nullptr},
                               {"abc/def/ghi.txt", "deep", 1, nullptr}}));
    const std::string original = ReadAll(zip);
    std::vector<size_t> names;
    for (const char* name : {"sub/one.txt", "two.bin", "abc/def/ghi.txt"})
        for (size_t at = original.find(name); at != std::string::npos; at = original.find(name, at + 1))
            names.push_back(at);
    const char nasty[] = "../\\:.~ \x01\xff";
    std::mt19937 random(20261209);
    const int count = 10000;
    int listed = 0, extracted = 0;
    DWORD start = GetTickCount();
    for (int i = 0; i < count; i++) {
        std::string bytes = original;
        for (int e = 0, edits = 1 + random() % 4; e < edits; e++) {
            size_t at = random() % bytes.size();
            switch (random() % 5) {
                case 0: // a name rewritten, in the local header or the central directory
                    at = names[random() % names.size()] + random() % 4;
                    bytes[at % bytes.size()] = nasty[random() % (sizeof(nasty) - 1)];
                    break;
                case 1:
                    bytes[at] = (char)random();
                    break;
                case 2:
                    bytes.erase(at, 1 + random() % 16);
                    break;
                case 3:
                    bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 64));
                    break;
                default:
                    bytes.resize(at);
                    break;
            }
            if (bytes.empty())
                bytes = "PK";
        }
        HANDLE file = CreateFileW(zip.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
        CloseHandle(file);
        std::vector<std::wstring> entries;
        if (!ListArchive(zip.c_str(), entries))
            continue;
        listed++;
        for (const std::wstring& entry : entries)
            ASSERT_EQ(1, IsContainedName(entry.c_str(), 1)) << i;
        if (ExtractArchive(zip.c_str(), target.c_str())) {
            extracted++;
            TempFolder::RemoveTree(target.substr(0, target.size() - 1));
            CreateDirectoryW(target.c_str(), nullptr);
        }
        ASSERT_EQ("a.zip\n", Listing(in)) << i;
        ASSERT_EQ("t\\\n", Listing(out)) << "outside the target, or left by a failed extraction: " << i;
    }
    EXPECT_EQ("in\\\nin\\a.zip\nout\\\nout\\t\\\n", Listing(jail.Path()));
    printf("mutated zip archives: %d, %d listed, %d extracted, in %lu ms\n", count, listed, extracted,
           (unsigned long)(GetTickCount() - start));
    EXPECT_GT(listed, 0);
}
