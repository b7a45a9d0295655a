// ShellRun's requests, seen at the program's import of ShellExecuteExW: under Wine no launch outlasts the call.
#include "app/shell/LongPath.h"
#include "app/shell/ShellRun.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#ifdef _WIN64
extern "C" void* ShellExecuteImport asm("__imp_ShellExecuteExW");
#else
extern "C" void* ShellExecuteImport asm("__imp__ShellExecuteExW@4");
#endif
static void* const realShellExecute = ShellExecuteImport;
static std::vector<ULONG> seenMasks; // one per call

static BOOL WINAPI Recording(SHELLEXECUTEINFOW* info) {
    seenMasks.push_back(info->fMask & (SEE_MASK_NOASYNC | SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI));
    return reinterpret_cast<decltype(&ShellExecuteExW)>(realShellExecute)(info);
}

static void PutIntoImport(void* function) {
    DWORD old = 0;
    VirtualProtect(&ShellExecuteImport, sizeof(void*), PAGE_READWRITE, &old);
    ShellExecuteImport = function;
    VirtualProtect(&ShellExecuteImport, sizeof(void*), old, &old);
}

TEST(ShellRun, ALaunchIsDoneWhenTheShellReturnsAndKeepsTheShellsErrorMessages) {
    CoInitialize(nullptr);
    PutIntoImport(reinterpret_cast<void*>(Recording));
    for (bool byItem : {false, true}) {
        TempFolder root{L"shell-run"};
        std::wstring marker = root.Path() + L"\\ran.txt", link = root.Path() + L"\\Tool.lnk";
        std::wstring program = TestProgramFolder() + L"marker.exe", arguments = L"\"" + marker + L"\"";
        PIDLIST_ABSOLUTE item = nullptr;
        ASSERT_TRUE(!byItem || (MakeShortcut(link, program, arguments) && ShellIdList(link.c_str(), &item)));
        int result = byItem ? ShellRunItem(item, nullptr, SW_HIDE, L"open")
                            : ShellRun(program.c_str(), arguments.c_str(), nullptr, SW_HIDE, SHELL_AS_USER, L"open");
        CoTaskMemFree(item);
        EXPECT_TRUE(result == 1 && WaitForFile(marker, 10000)) << byItem;
    }
    PutIntoImport(realShellExecute);
    EXPECT_EQ((std::vector<ULONG>{SEE_MASK_NOASYNC, SEE_MASK_NOASYNC | SEE_MASK_INVOKEIDLIST}), seenMasks);
    EXPECT_EQ(0, ShellRunItem(nullptr, nullptr, SW_HIDE, L"open"));
    CoUninitialize();
}
