#pragma once
// A uniquely named folder for one test, removed with everything in it when the test ends.

#include <windows.h>

#include <map>
#include <string>

class TempFolder {
public:
    // Creates the folder below parent, or below the user's temporary folder when parent is empty.
    explicit TempFolder(const wchar_t* label, const std::wstring& parent = std::wstring()) {
        std::wstring base = parent;
        if (base.empty()) {
            wchar_t temp[MAX_PATH];
            GetTempPathW(MAX_PATH, temp);
            base = temp;
        }
        if (!base.empty() && base.back() == L'\\')
            base.pop_back();
        path = base + L"\\" + label + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path; }

    std::wstring Folder(const std::wstring& relative) const {
        std::wstring full = path + L"\\" + relative;
        CreateDirectoryW(full.c_str(), nullptr);
        return full;
    }

    std::wstring Write(const std::wstring& relative, const std::string& content) const {
        std::wstring full = path + L"\\" + relative;
        HANDLE file =
            CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
            CloseHandle(file);
        }
        return full;
    }

    // A file's bytes; `missing` when it cannot be opened. Others may write or delete it meanwhile: a test
    // that reads must not make the program under test fail to remove a file.
    static std::string Read(const std::wstring& file, const char* missing = "") {
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return missing;
        std::string content;
        char buffer[65536];
        DWORD read = 0;
        while (ReadFile(handle, buffer, sizeof(buffer), &read, nullptr) && read)
            content.append(buffer, read);
        CloseHandle(handle);
        return content;
    }

    // Every file below a folder with its bytes, by relative path.
    static std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
        std::map<std::wstring, std::string> files;
        Snapshot(folder, L"", files);
        return files;
    }

    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring full = folder + L"\\" + name;
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    DeleteFileW(full.c_str());
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(folder.c_str());
    }

private:
    static void Snapshot(const std::wstring& folder, const std::wstring& prefix,
                         std::map<std::wstring, std::string>& files) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                Snapshot(folder + L"\\" + name, prefix + name + L"\\", files);
            else
                files[prefix + name] = Read(folder + L"\\" + name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }

    std::wstring path;
    static inline int counter = 0;
};
