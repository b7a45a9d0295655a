#include "TypedMenuTest.h"

#include "Shortcut.h"

#include <objbase.h>

namespace {

const UINT TrayMessage = WM_APP + 1;

} // namespace

TypedMenuTest::TypedMenuTest(const wchar_t* label, std::vector<std::wstring> entryPaths)
    : entries(std::move(entryPaths)), root(label), marks((std::wstring(label) + L"-marks").c_str()) {}

void TypedMenuTest::SetUp() {
    CoInitialize(nullptr);
    for (const std::wstring& entry : entries) {
        for (size_t slash = entry.find(L'\\'); slash != std::wstring::npos; slash = entry.find(L'\\', slash + 1)) {
            root.Folder(entry.substr(0, slash));
            marks.Folder(entry.substr(0, slash));
        }
        ASSERT_TRUE(MakeShortcut(root.Path() + L"\\" + entry + L".lnk", VeltrixProcess::ProgramFolder() + L"marker.exe",
                                 L"\"" + Mark(entry) + L"\""));
    }
    StartResident();
}

void TypedMenuTest::TearDown() {
    CoUninitialize();
}

void TypedMenuTest::StartResident() {
    ASSERT_TRUE(veltrix.Start(L"-s -r \"" + root.Path() + L"\""));
    main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
}

void TypedMenuTest::OpenAndType(const std::wstring& keys) {
    PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
    ASSERT_NE(nullptr, veltrix.WaitForMenu(10000));
    Type(keys);
}

void TypedMenuTest::Type(const std::wstring& keys) {
    for (wchar_t key : keys) {
        WORD code = key == L'\b'     ? VK_BACK
                    : key == L'\r'   ? VK_RETURN
                    : key == L'>'    ? VK_RIGHT
                    : key == L'\x1B' ? VK_ESCAPE
                                     : 0;
        if (key >= L'a' && key <= L'z')
            code = (WORD)(key - L'a' + 'A');
        code ? VeltrixProcess::PressKey(code) : VeltrixProcess::TypeCharacter(key);
        Sleep(150);
    }
}

std::wstring TypedMenuTest::Started(DWORD milliseconds) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(50)) {
        for (const std::wstring& entry : entries) {
            if (VeltrixProcess::WaitForFile(Mark(entry), 0) && DeleteFileW(Mark(entry).c_str()))
                return entry;
        }
    }
    return L"";
}
