// The problem-report dialog of the real Veltrix.exe after crashes caused from outside, answered as a user
// would, and what the program's report server received.
#include "RemoteCrash.h"
#include "VeltrixProcess.h"

#include <winsock2.h>

#include "TempFolder.h"
#include "base/WString.h"
#include "sysinfo/MachineId.h"
#include "update/HttpTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdio.h>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t* const SettingsKey = L"Software\\Koravent\\Veltrix";
const wchar_t* const NoDbghelp = L"Software\\Wine\\AppDefaults\\Veltrix.exe\\DllOverrides";

// A control's text as the program reports it, across the process boundary.
std::wstring ItemText(HWND control) {
    static wchar_t text[4096];
    text[0] = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, 4096, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

std::vector<HWND> SysLinks(HWND dialog) {
    std::vector<HWND> links;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (VeltrixProcess::ClassName(child) == L"SysLink" && IsWindowVisible(child))
            links.push_back(child);
    return links;
}

// Pastes the text into the control from the clipboard, as Ctrl+V would.
void Paste(HWND control, const std::wstring& text) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    ASSERT_NE(nullptr, SetClipboardData(CF_UNICODETEXT, block));
    CloseClipboard();
    SendMessageTimeoutW(control, WM_PASTE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    DestroyWindow(owner);
}

void Type(HWND control, const std::wstring& text) {
    for (wchar_t c : text)
        SendMessageTimeoutW(control, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, 5000, nullptr);
}

LRESULT TextLength(HWND control) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    return (LRESULT)length;
}

// The reports the server has stored, by folder name (a folder being written starts with ".").
std::vector<std::wstring> Reports() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((HttpTestServer::ReportsFolder() + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (found.cFileName[0] != L'.')
            names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// One stored report: its parts' file names in order, and their bytes.
std::vector<std::pair<std::wstring, std::string>> ReportParts(const std::wstring& report) {
    std::vector<std::pair<std::wstring, std::string>> parts;
    std::wstring folder = HttpTestServer::ReportsFolder() + report + L"\\";
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return parts;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            parts.push_back({found.cFileName, TempFolder::Read(folder + found.cFileName)});
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(parts.begin(), parts.end());
    return parts;
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3 + 1, '\0');
    int length =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], (int)bytes.size(), nullptr, nullptr);
    bytes.resize(length > 0 ? (size_t)length : 0);
    return bytes;
}

// A report server that takes every connection and every byte sent to it, and never answers.
class StalledServer {
public:
    StalledServer() {
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof(address);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(listener, 8) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port = ntohs(address.sin_port);
        worker = std::thread([this] {
            for (;;) {
                SOCKET client = accept(listener, nullptr, nullptr);
                if (client == INVALID_SOCKET)
                    return;
                clients.push_back(client);
                char buffer[65536];
                while (recv(client, buffer, sizeof(buffer), 0) > 0)
                    received += 1;
            }
        });
    }
    ~StalledServer() {
        closesocket(listener);
        for (SOCKET client : clients)
            closesocket(client);
        if (worker.joinable())
            worker.join();
    }
    int port = 0;
    std::atomic<int> received{0};

private:
    SOCKET listener = INVALID_SOCKET;
    std::vector<SOCKET> clients;
    std::thread worker;
};

BOOL CALLBACK CountDialog(HWND window, LPARAM parameter) {
    auto* count = reinterpret_cast<std::pair<DWORD, int>*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == count->first && IsWindowVisible(window) && VeltrixProcess::ClassName(window) == L"#32770")
        count->second++;
    return TRUE;
}

int VisibleDialogs(DWORD processId) {
    std::pair<DWORD, int> count = {processId, 0};
    EnumWindows(CountDialog, reinterpret_cast<LPARAM>(&count));
    return count.second;
}

size_t ReportRequests() {
    std::string log = TempFolder::Read(HttpTestServer::UpdateLog());
    size_t count = 0;
    for (size_t at = log.find(" /talvor/report.php "); at != std::string::npos;
         at = log.find(" /talvor/report.php ", at + 1))
        count++;
    return count;
}

} // namespace

class ReportE2E : public ::testing::Test {
protected:
    void SetUp() override {
        DWORD size = sizeof(savedHost);
        RegGetValueW(HKEY_CURRENT_USER, SettingsKey, L"ReportHost", RRF_RT_REG_SZ, nullptr, savedHost, &size);
        DeleteFileW(textPath.c_str());
        DeleteFileW(dumpPath.c_str());
    }
    void TearDown() override {
        // Back to no report server, as the prefix was made: no other test's crash waits for an answer.
        SetReportHost(savedHost);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Veltrix.exe");
        std::wstring reports = HttpTestServer::ReportsFolder();
        reports.pop_back();
        if (!(GetFileAttributesW(reports.c_str()) & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileW(reports.c_str());
            CreateDirectoryW(reports.c_str(), nullptr);
        }
        DeleteFileW(textPath.c_str());
        DeleteFileW(dumpPath.c_str());
    }
    static void SetReportHost(const std::wstring& host) {
        RegSetKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"ReportHost", REG_SZ, host.c_str(),
                        (DWORD)((host.size() + 1) * sizeof(wchar_t)));
    }
    // Starts the program, crashes a new thread of it at the probe's function (null: a wild jump) and
    // waits for the dialog.
    HWND CrashAndWaitForDialog(VeltrixProcess& veltrix, const char* function) {
        // Wine creates a remote thread inside the target, which once never answered and held the test until
        // its time-out: the request is bounded, and made once more on a fresh process.
        for (int attempt = 0; attempt < 2; attempt++) {
            if (!veltrix.Start(L"-s") || !veltrix.WaitForMainWindow(20000))
                return nullptr;
            std::atomic<DWORD> crashed{0};
            HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            DWORD id = veltrix.Id();
            std::thread starter([&crashed, done, id, function] {
                crashed = RemoteCrash::CrashNewThread(id, function);
                SetEvent(done);
            });
            bool answered = WaitForSingleObject(done, 20000) == WAIT_OBJECT_0;
            if (!answered)
                veltrix.Kill();
            starter.join();
            CloseHandle(done);
            if (answered)
                return crashed ? veltrix.WaitForWindow(L"#32770", 60000) : nullptr;
            printf("the remote thread was not created within 20 s: a fresh process is tried\n");
        }
        return nullptr;
    }

    wchar_t savedHost[512] = L"";
    std::wstring textPath = VeltrixProcess::ProgramFolder() + L"Veltrix_Debug.txt";
    std::wstring dumpPath = VeltrixProcess::ProgramFolder() + L"Veltrix_Debug.dmp";
};

// Send posts the fields in their order with what was typed and both files as they are on disk, and the
// program ends; without dbghelp.dll the dialog names the text alone, and the form has no minidump.
TEST_F(ReportE2E, SendPostsFieldsInOrderAndFilesAsOnDisk) {
    SetReportHost(HttpTestServer::UpdateUrl(L""));
    WString machine;
    ASSERT_TRUE(FormatMachineId(machine, MACHINE_ID_PROBLEM_REPORT));
    // The description reaches the server as UTF-8 whatever the system's code page.
    std::wstring pasted = L"Άνοιξα το μενού. ";
    while (pasted.size() < 2100)
        pasted += L"Opened the menu and chose a shortcut; " + std::to_wstring(pasted.size()) + L". ";
    for (bool dbghelp : {true, false}) {
        SCOPED_TRACE(dbghelp ? "with dbghelp" : "without dbghelp");
        if (!dbghelp) {
            ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, NoDbghelp, L"dbghelp", REG_SZ, L"", 2));
        }
        std::wstring email = dbghelp ? L"reporter@example.com" : L"";
        std::wstring description = dbghelp ? pasted.substr(0, 2046) : L"";
        size_t before = Reports().size();
        VeltrixProcess veltrix;
        HWND dialog = CrashAndWaitForDialog(veltrix, "CrashNullWrite");
        ASSERT_NE(nullptr, dialog) << "no problem-report dialog";
        EXPECT_EQ(L"Koravent Veltrix", ItemText(dialog));
        EXPECT_EQ(L"Koravent Veltrix has stopped working.", ItemText(GetDlgItem(dialog, 1006)));
        std::vector<HWND> links = SysLinks(dialog);
        ASSERT_EQ(2u, links.size());
        // The maker's page from the Comments string's brackets, and the files with their full paths.
        EXPECT_EQ(L"Please tell Koravent about this problem.\n\nYou can check the website "
                  L"<a href=\"https://www.koravent.com\">www.koravent.com</a> for a newer version.",
                  ItemText(links[0]));
        std::wstring text = L"<a href=\"" + textPath + L"\">Veltrix_Debug.txt</a>";
        EXPECT_EQ(dbghelp ? L"The files " + text + L" and <a href=\"" + dumpPath +
                                L"\">Veltrix_Debug.dmp</a> will be send. They do not contain any personal information."
                          : L"The file " + text + L" will be send. It does not contain any personal information.",
                  ItemText(links[1]));
        if (dbghelp) {
            // The boxes cut a longer paste at their limits.
            Paste(GetDlgItem(dialog, 1004), pasted);
            EXPECT_EQ(2046, TextLength(GetDlgItem(dialog, 1004)));
            Paste(GetDlgItem(dialog, 1005), pasted.substr(0, 300));
            EXPECT_EQ(258, TextLength(GetDlgItem(dialog, 1005)));
            SendMessageTimeoutW(GetDlgItem(dialog, 1005), WM_SETTEXT, 0, (LPARAM)L"", SMTO_ABORTIFHUNG, 5000, nullptr);
            Type(GetDlgItem(dialog, 1005), email);
        }
        SendMessageTimeoutW(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        DWORD exitCode = 0;
        ASSERT_TRUE(veltrix.WaitForExit(60000, &exitCode)) << "Veltrix.exe did not end after Send";
        printf("%s: ended with 0x%08lX\n", dbghelp ? "with dbghelp" : "without dbghelp", exitCode);

        std::vector<std::wstring> reports = Reports();
        ASSERT_EQ(before + 1, reports.size());
        auto parts = ReportParts(reports.back());
        std::vector<std::pair<std::wstring, std::string>> expected = {
            {L"01-a", "r"},
            {L"02-p", "Veltrix"},
            {L"03-s", ""},
            {L"04-v", "1.10"},
            {L"05-g", std::string(machine.Buffer(), machine.Buffer() + machine.Length())},
            {L"06-e", Utf8(email)},
            {L"07-x", Utf8(description)}};
        if (dbghelp)
            expected.push_back({L"08-d-Veltrix_Debug.dmp", TempFolder::Read(dumpPath)});
        expected.push_back(
            {dbghelp ? L"09-t-Veltrix_Debug.txt" : L"08-t-Veltrix_Debug.txt", TempFolder::Read(textPath)});
        ASSERT_EQ(expected.size(), parts.size());
        for (size_t i = 0; i < parts.size(); i++) {
            EXPECT_EQ(expected[i].first, parts[i].first);
            EXPECT_TRUE(expected[i].second == parts[i].second) << "part " << i << " differs";
        }
        // What arrived is the report of this crash, and a minidump.
        EXPECT_EQ(0u, parts.back().second.find("Access Violation [0xC0000005] at 0x"));
        if (dbghelp) {
            EXPECT_EQ(0u, parts[7].second.find("MDMP"));
        }
    }
}

// "Don't Send", Escape and the close box send nothing; a Send that the server refuses with 500 or that
// finds no server still closes the dialog. Each time the program ends, however it crashed: a thread out
// of stack (the dialog and the upload run on the reporter's own thread), a thrown exception, a wild jump.
TEST_F(ReportE2E, EveryOtherAnswerEndsTheProgram) {
    enum Answer { DONT_SEND, ESCAPE, CLOSE_BOX, SEND_REFUSED, SEND_NO_SERVER };
    static const struct {
        const char* crash;
        Answer answer;
        const char* name;
    } cases[] = {
        {"CrashStackOverflow", DONT_SEND, "Don't Send"},
        {"CrashThrow", ESCAPE, "Escape"},
        {nullptr, CLOSE_BOX, "close box"},
        {"CrashNullWrite", SEND_REFUSED, "Send, server answers 500"},
        {"CrashStackOverflow", SEND_NO_SERVER, "Send, no server"},
    };
    std::wstring reports = HttpTestServer::ReportsFolder();
    reports.pop_back();
    printf("%-20s %-26s %-10s %s\n", "crash", "answer", "exit code", "ms from answer to end");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetReportHost(c.answer == SEND_NO_SERVER ? L"http://127.0.0.1:" + std::to_wstring(HttpTestServer::UnusedPort())
                                                 : HttpTestServer::UpdateUrl(L""));
        if (c.answer == SEND_REFUSED) {
            // A reports folder that is a file: the server cannot store the report and answers 500.
            TempFolder::RemoveTree(reports);
            HANDLE file = CreateFileW(reports.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            CloseHandle(file);
        }
        size_t before = Reports().size();
        size_t requests = ReportRequests();
        VeltrixProcess veltrix;
        HWND dialog = CrashAndWaitForDialog(veltrix, c.crash);
        ASSERT_NE(nullptr, dialog) << "no problem-report dialog";
        DWORD answered = GetTickCount();
        switch (c.answer) {
            case DONT_SEND:
                SendMessageTimeoutW(GetDlgItem(dialog, 1001), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
                break;
            case ESCAPE:
                // Through the dialog's own loop, which turns the key into Cancel.
                PostMessageW(GetDlgItem(dialog, 1000), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                break;
            case CLOSE_BOX:
                PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            default:
                SendMessageTimeoutW(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
                break;
        }
        DWORD exitCode = 0;
        ASSERT_TRUE(veltrix.WaitForExit(60000, &exitCode)) << "Veltrix.exe did not end";
        printf("%-20s %-26s 0x%08lX %lu\n", c.crash ? c.crash : "wild start address", c.name, exitCode,
               GetTickCount() - answered);
        if (c.answer == SEND_REFUSED) {
            // The server logs a request once it has answered it: that may come a moment after the end.
            for (int i = 0; i < 50 && ReportRequests() == requests; i++)
                Sleep(100);
            EXPECT_EQ(requests + 1, ReportRequests());
            EXPECT_NE(std::string::npos,
                      TempFolder::Read(HttpTestServer::UpdateLog()).find(" /talvor/report.php 500 "));
            DeleteFileW(reports.c_str());
            CreateDirectoryW(reports.c_str(), nullptr);
        } else {
            EXPECT_EQ(requests, ReportRequests());
            EXPECT_EQ(before, Reports().size());
        }
        EXPECT_FALSE(TempFolder::Read(textPath).empty());
    }
}

// A report server that takes the report and never answers, and two threads crashing at once: each time
// the program ends within the upload's bound (or at once), its report's first lines on disk, and the
// second crash brings no second dialog.
TEST_F(ReportE2E, StalledServerAndTwoCrashesEndTheProgram) {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    {
        StalledServer stalled;
        ASSERT_NE(0, stalled.port);
        SetReportHost(L"http://127.0.0.1:" + std::to_wstring(stalled.port));
        VeltrixProcess veltrix;
        HWND dialog = CrashAndWaitForDialog(veltrix, "CrashNullWrite");
        ASSERT_NE(nullptr, dialog) << "no problem-report dialog";
        EXPECT_EQ(0u, TempFolder::Read(textPath).find("Access Violation [0xC0000005] at 0x"));
        DWORD sent = GetTickCount();
        SendMessageTimeoutW(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        DWORD exitCode = 0;
        // The upload's bound is 90 s; its receive time-out ends it sooner.
        ASSERT_TRUE(veltrix.WaitForExit(120000, &exitCode)) << "Veltrix.exe did not end with a stalled server";
        DWORD spent = GetTickCount() - sent;
        printf("stalled report server: ended 0x%08lX, %lu ms after Send\n", exitCode, spent);
        EXPECT_LT(spent, 100000u);
        EXPECT_GT(stalled.received.load(), 0) << "the form was not sent";
    }
    WSACleanup();

    SetReportHost(HttpTestServer::UpdateUrl(L""));
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-s"));
    ASSERT_NE(nullptr, veltrix.WaitForMainWindow(20000));
    DWORD first = RemoteCrash::CrashNewThread(veltrix.Id(), "CrashNullWrite");
    DWORD second = RemoteCrash::CrashNewThread(veltrix.Id(), "CrashNullWrite");
    ASSERT_NE(0u, first);
    ASSERT_NE(0u, second);
    HWND dialog = veltrix.WaitForWindow(L"#32770", 60000);
    ASSERT_NE(nullptr, dialog) << "no problem-report dialog";
    // The second crash has long arrived by now; it waits, with no dialog of its own.
    int most = 0;
    for (int i = 0; i < 30; i++, Sleep(100))
        most = std::max(most, VisibleDialogs(veltrix.Id()));
    EXPECT_EQ(1, most);
    SendMessageTimeoutW(GetDlgItem(dialog, 1001), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    DWORD exitCode = 0;
    ASSERT_TRUE(veltrix.WaitForExit(30000, &exitCode)) << "Veltrix.exe did not end after two crashes";
    std::string text = TempFolder::Read(textPath);
    std::string firstLine = text.substr(0, text.find("\r\n"));
    EXPECT_TRUE(firstLine.find(" in Thread " + std::to_string(first) + ".") != std::string::npos ||
                firstLine.find(" in Thread " + std::to_string(second) + ".") != std::string::npos)
        << firstLine;
    EXPECT_EQ(0xC0000005u, exitCode);
}
