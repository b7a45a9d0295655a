// What ShellRun asks of the shell. Wine carries out every launch before ShellExecuteExW returns, so the
// difference SEE_MASK_NOASYNC makes on Windows (a DDE or DelegateExecute verb finished before the call
// returns, not on a thread of the shell's after a once-mode run has ended) cannot be seen here; what can be
// seen is the request itself, taken at the program's import of ShellExecuteExW on its way to the shell.
#include "app/LongPath.h"
#include "app/ShellRun.h"

#include "Shortcut.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>

namespace {

// The import slot through which the program calls ShellExecuteExW.
#ifdef _WIN64
extern "C" void* ShellExecuteImport asm("__imp_ShellExecuteExW");
#else
extern "C" void* ShellExecuteImport asm("__imp__ShellExecuteExW@4");
#endif

typedef BOOL(WINAPI* ShellExecuteFn)(SHELLEXECUTEINFOW*);
ShellExecuteFn realShellExecute = nullptr;
ULONG seenMask = 0;
int calls = 0;

BOOL WINAPI Recording(SHELLEXECUTEINFOW* info) {
    seenMask = info->fMask;
    calls++;
    return realShellExecute(info);
}

// Puts the recording function into the import slot for one test, and the shell's own back afterwards.
class Interception {
public:
    Interception() { Swap(reinterpret_cast<void*>(Recording)); }
    ~Interception() { Swap(reinterpret_cast<void*>(realShellExecute)); }

private:
    static void Swap(void* function) {
        DWORD old = 0;
        VirtualProtect(&ShellExecuteImport, sizeof(void*), PAGE_READWRITE, &old);
        if (!realShellExecute)
            realShellExecute = reinterpret_cast<ShellExecuteFn>(ShellExecuteImport);
        ShellExecuteImport = function;
        VirtualProtect(&ShellExecuteImport, sizeof(void*), old, &old);
    }
};

bool WaitForFile(const std::wstring& path, DWORD milliseconds) {
    for (DWORD start = GetTickCount(); GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; Sleep(50)) {
        if (GetTickCount() - start > milliseconds)
            return false;
    }
    return true;
}

} // namespace

class ShellRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        calls = 0;
        seenMask = 0;
    }
    void TearDown() override { CoUninitialize(); }
    TempFolder root{L"shell-run"};
};

TEST_F(ShellRunTest, ALaunchIsDoneWhenTheShellReturnsAndKeepsTheShellsErrorMessages) {
    std::wstring marker = root.Path() + L"\\ran.txt";
    Interception interception;
    EXPECT_EQ(1, ShellRun((TestProgramFolder() + L"marker.exe").c_str(), (L"\"" + marker + L"\"").c_str(), nullptr,
                          SW_HIDE, 0, L"open"));
    ASSERT_EQ(1, calls);
    EXPECT_EQ((ULONG)SEE_MASK_NOASYNC, seenMask & SEE_MASK_NOASYNC) << "the shell may return before the launch";
    EXPECT_EQ(0u, seenMask & SEE_MASK_FLAG_NO_UI) << "the shell's own error messages are kept";
    EXPECT_TRUE(WaitForFile(marker, 10000));
}

TEST_F(ShellRunTest, AnItemIsOpenedByItsOwnContextMenuAndDoneWhenTheShellReturns) {
    std::wstring marker = root.Path() + L"\\ran.txt";
    std::wstring link = root.Path() + L"\\Tool.lnk";
    ASSERT_TRUE(MakeShortcut(link, TestProgramFolder() + L"marker.exe", L"\"" + marker + L"\""));
    PIDLIST_ABSOLUTE item = nullptr;
    ASSERT_EQ(1, ShellIdList(link.c_str(), &item));
    {
        Interception interception;
        EXPECT_EQ(1, ShellRunItem(item, nullptr, SW_HIDE, L"open"));
    }
    CoTaskMemFree(item);
    ASSERT_EQ(1, calls);
    EXPECT_EQ((ULONG)(SEE_MASK_NOASYNC | SEE_MASK_INVOKEIDLIST),
              seenMask & (SEE_MASK_NOASYNC | SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI));
    EXPECT_TRUE(WaitForFile(marker, 10000));
    EXPECT_EQ(0, ShellRunItem(nullptr, nullptr, SW_HIDE, L"open"));
}
