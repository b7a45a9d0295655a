#include "update/AutoUpdater.h"

#include "BoxAnswerer.h"
#include "HttpTestServer.h"
#include "TempFolder.h"
#include "framework/VersionInfo.h"
#include "update/BuildArchitecture.h"
#include "update/CheckSchedule.h"
#include "update/ContainedPath.h"
#include "update/FileSwap.h"
#include "update/PeHeader.h"
#include "update/UpdateNames.h"
#include "update/UpdateSignature.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <zip.h>

#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <time.h>
#include <vector>

namespace {

const wchar_t TestKey[] = L"Software\\Koravent\\VeltrixUpdaterTest";

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::string ReadAll(const std::wstring& path) {
    return TempFolder::Read(path, "<missing>");
}

// An answer body as the client hands it over: one character per byte.
WString Body(const std::string& bytes) {
    WString body;
    for (unsigned char c : bytes)
        body.AppendByte(c);
    return body;
}

// A zip archive of the given files, as a release publishes it.
std::string ZipOf(const std::vector<std::pair<const char*, std::string>>& files) {
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, nullptr);
    zip_source_keep(memory);
    zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, nullptr);
    for (const auto& file : files)
        zip_file_add(archive, file.first, zip_source_buffer(archive, file.second.data(), file.second.size(), 0), 0);
    zip_close(archive);
    std::string bytes;
    if (zip_source_open(memory) == 0) {
        char buffer[4096];
        zip_int64_t got = 0;
        while ((got = zip_source_read(memory, buffer, sizeof(buffer))) > 0)
            bytes.append(buffer, (size_t)got);
        zip_source_close(memory);
    }
    zip_source_free(memory);
    return bytes;
}

// A release asking in English only (no restart, so the tests' own program is never started again).
std::string Manifest(const std::string& files = "[]", const std::string& info = "{\"en\": \"Install it?\"}") {
    return "{\"application\": \"Veltrix Update Test\", \"info\": " + info + ", \"files\": " + files + "}";
}

int UpdateRequests() {
    std::string log = ReadAll(HttpTestServer::UpdateLog());
    int count = 0;
    for (size_t at = log.find("/data/update.php"); at != std::string::npos; at = log.find("/data/update.php", at + 1))
        count++;
    return count;
}

class Updater : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, TestKey);
        window =
            CreateWindowW(L"STATIC", L"updater test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        folder = programFolder.Path() + L"\\";
        updater.SetProgramFolder(folder.c_str());
    }
    void TearDown() override {
        updater.Stop();
        DestroyWindow(window);
        RegDeleteTreeW(HKEY_CURRENT_USER, TestKey);
    }
    // One check (a weekly one with "LastCheck", a manual one with MANUAL_CHECK) answered with the buttons given;
    // returns the texts of the boxes shown.
    // A query given goes into the update address, before what the updater adds.
    std::vector<std::wstring> Check(std::vector<int> buttons, const wchar_t* valueName = L"LastCheck",
                                    const std::string& query = "") {
        BoxAnswerer answerer(L"Veltrix Update Test", buttons);
        std::wstring url =
            HttpTestServer::UpdateUrl(L"/data/update.php?p=veltrix") + std::wstring(query.begin(), query.end());
        started = updater.Start(url.c_str(), window, HKEY_CURRENT_USER, TestKey, valueName, 0);
        updater.Stop();
        return answerer.Finish();
    }
    DWORD ReadNumber(const wchar_t* name, DWORD missing = 0x12345678) {
        DWORD value = missing, size = sizeof(value);
        RegGetValueW(HKEY_CURRENT_USER, TestKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }
    void WriteNumber(const wchar_t* name, DWORD value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, TestKey, name, REG_DWORD, &value, sizeof(value));
    }
    std::wstring ReadText(const wchar_t* name) {
        wchar_t text[64] = L"";
        DWORD size = sizeof(text);
        RegGetValueW(HKEY_CURRENT_USER, TestKey, name, RRF_RT_REG_SZ, nullptr, text, &size);
        return text;
    }
    std::string File(const wchar_t* name) { return ReadAll(folder + name); }
    // What the new version does once it is up: the update stays, its "_old" copies go.
    int Confirm() {
        SwapJournal journal;
        return journal.Load(folder.c_str()) && FileSwap(folder.c_str(), journal).Finish();
    }

    HWND window = nullptr;
    TempFolder programFolder{L"veltrix-update"};
    std::wstring folder;
    AutoUpdater updater;
    int started = 0;
};

} // namespace

TEST_F(Updater, WeeklyCheckIsThrottledByLastCheckAndManualCheckIsNot) {
    HttpTestServer::Publish("1.9", Manifest());
    int requests = UpdateRequests();
    DWORD before = (DWORD)time(nullptr);
    Check({});
    EXPECT_EQ(1, started);
    EXPECT_EQ(requests + 1, UpdateRequests());
    EXPECT_GE(ReadNumber(L"LastCheck"), before);
    EXPECT_LE(ReadNumber(L"LastCheck"), (DWORD)time(nullptr));

    WriteNumber(L"LastCheck", 0xFFFFFFFF);
    Check({});
    EXPECT_EQ(0, started);
    EXPECT_EQ(0u, ReadNumber(L"LastCheck"));

    DWORD sixDaysAgo = (DWORD)time(nullptr) - 6 * 86400;
    WriteNumber(L"LastCheck", sixDaysAgo);
    Check({});
    EXPECT_EQ(0, started);
    EXPECT_EQ(sixDaysAgo, ReadNumber(L"LastCheck"));
    EXPECT_EQ(requests + 1, UpdateRequests());

    // A time ahead of the clock does not hold the checks off.
    WriteNumber(L"LastCheck", (DWORD)time(nullptr) + 30 * 86400);
    Check({});
    EXPECT_EQ(1, started);

    WriteNumber(L"LastCheck", sixDaysAgo);
    Check({}, AutoUpdater::MANUAL_CHECK);
    EXPECT_EQ(1, started);
    EXPECT_EQ(requests + 3, UpdateRequests());
    EXPECT_EQ(sixDaysAgo, ReadNumber(L"LastCheck"));
}

TEST_F(Updater, OffersOnlyLaterVersionsAndDeclinedOnesOnceOnlyAndNeverOneBelowTheHighestSeen) {
    // This test program runs as 1.10.
    const char* versions[] = {"1.9", "1.10", "1.11", "2.0"};
    const size_t asked[] = {0, 0, 1, 1};
    for (int i = 0; i < 4; i++) {
        HttpTestServer::Publish(versions[i], Manifest());
        EXPECT_EQ(asked[i], Check({IDNO}, AutoUpdater::MANUAL_CHECK).size()) << versions[i];
    }
    EXPECT_EQ(0x12345678u, ReadNumber(L"LastCheckVersion")) << "a manual check stores no declined version";

    HttpTestServer::Publish("2.0", Manifest());
    EXPECT_EQ(1u, Check({IDNO}).size());
    EXPECT_EQ(L"2.0", ReadText(L"LastCheckVersion"));
    WriteNumber(L"LastCheck", 1);
    int requests = UpdateRequests();
    EXPECT_EQ(0u, Check({IDNO}).size());
    EXPECT_EQ(requests + 1, UpdateRequests());
    EXPECT_EQ(1u, Check({IDNO}, AutoUpdater::MANUAL_CHECK).size()) << "a manual check asks again";

    HttpTestServer::Publish("2.256", Manifest());
    WriteNumber(L"LastCheck", 1);
    EXPECT_EQ(1u, Check({IDNO}).size()) << "a minor version above 255 is compared whole";
    EXPECT_EQ(L"2.256", ReadText(L"LastCheckVersion"));
    // An answer for a version below one already seen is an old one replayed: 1.11 is newer than the
    // running 1.10, yet it is not offered.
    HttpTestServer::Publish("1.11", Manifest());
    EXPECT_EQ(0u, Check({IDNO}, AutoUpdater::MANUAL_CHECK).size());
}

TEST_F(Updater, AFailedCheckIsNoCheckAndIsRetriedAfterAGrowingPause) {
    // With the publisher's key an unsigned answer is no answer.
    updater.SetPublicKey(VELTRIX_TEST_PUBLIC_KEY);
    HttpTestServer::Publish("1.11", Manifest());
    const DWORD now = (DWORD)time(nullptr), day = 86400, weekAgo = now - 8 * day;
    WriteNumber(L"LastCheck", weekAgo);
    // Whether the check starts, given the last attempt's age; the failures counted then.
    using Step = std::tuple<DWORD, bool, DWORD>;
    for (auto [attemptAge, starts, failures] : {Step{0, true, 1}, Step{0, false, 1}, Step{day + 60, true, 2},
                                                Step{day + 60, false, 2}, Step{2 * day + 60, true, 3}}) {
        if (attemptAge)
            WriteNumber(L"LastCheckAttempt", now - attemptAge);
        Check({});
        EXPECT_EQ(starts, started == 1) << attemptAge;
        EXPECT_EQ(failures, ReadNumber(L"LastCheckFailures")) << attemptAge;
        EXPECT_EQ(weekAgo, ReadNumber(L"LastCheck"));
    }
    // A month without a valid answer shows in the About box; a valid one ends it.
    SettingsStore store;
    ASSERT_TRUE(store.Open(SettingsStore::REGISTRY, HKEY_CURRENT_USER, TestKey, nullptr));
    CheckSchedule schedule;
    schedule.Attach(&store, L"LastCheck");
    EXPECT_EQ(0, schedule.Failing(now));
    EXPECT_EQ(1, schedule.Failing(weekAgo + 31 * day));
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    WriteNumber(L"LastCheckAttempt", 1);
    EXPECT_EQ(1u, Check({IDNO}).size());
    EXPECT_GE(ReadNumber(L"LastCheck"), now);
    EXPECT_EQ(0, schedule.Failing(weekAgo + 31 * day));
    // The answer taken is remembered: one signed before it is refused, and a clock set back judges expiry
    // by its time.
    EXPECT_EQ(0, schedule.Accepts(now - 1, 1, 11));
    EXPECT_GE(schedule.Now(0), (unsigned long long)now);
}

TEST_F(Updater, AStartAskedWhileTheQuestionIsUpLeavesTheRunningCheckAlone) {
    // The About box's switch, used while the weekly check's question is up (tray mode): the second start
    // comes through the question's own loop, here from a timer, which then answers No.
    static struct {
        AutoUpdater* updater;
        std::wstring url;
        int second;
        bool done;
    } probe;
    probe = {&updater, HttpTestServer::UpdateUrl(L"/data/update.php?p=veltrix"), -1, false};
    HttpTestServer::Publish("1.11", Manifest());
    // A timer procedure is stdcall on 32-bit Windows, which no lambda converts to.
    struct Tick {
        static VOID CALLBACK OnTimer(HWND owner, UINT, UINT_PTR id, DWORD) {
            HWND box = FindWindowW(L"#32770", L"Veltrix Update Test");
            if (!box || probe.done)
                return;
            probe.done = true;
            KillTimer(owner, id);
            probe.second =
                probe.updater->Start(probe.url.c_str(), owner, nullptr, nullptr, AutoUpdater::MANUAL_CHECK, 0);
            PostMessageW(box, WM_COMMAND, IDNO, 0);
        }
    };
    SetTimer(window, 77, 20, Tick::OnTimer);
    started = updater.Start(probe.url.c_str(), window, HKEY_CURRENT_USER, TestKey, L"LastCheck", 0);
    updater.Stop();
    KillTimer(window, 77);
    EXPECT_EQ(1, started);
    EXPECT_TRUE(probe.done) << "the question never came";
    EXPECT_EQ(0, probe.second);
    EXPECT_EQ(L"1.11", ReadText(L"LastCheckVersion")) << "the running check still records the declined version";
}

TEST_F(Updater, AsksInTheUsersLanguageElseInEnglishAndNotAtAllWithoutEither) {
    wchar_t language[16] = L"en";
    GetLocaleInfoW(MAKELCID(GetUserDefaultLangID(), SORT_DEFAULT), LOCALE_SISO639LANGNAME, language, 16);
    std::string mine(language, language + wcslen(language));
    const std::wstring own = L"Neue Version \u00fc\u20ac \u65b0", english = L"New version \u00e9";
    std::string other = mine == "zz" ? "zy" : "zz";

    HttpTestServer::Publish("1.11",
                            Manifest("[]", "{\"" + other + "\": \"x\", \"" + mine + "\": \"" + Utf8(own) + "\"}"));
    std::vector<std::wstring> texts = Check({IDNO}, AutoUpdater::MANUAL_CHECK);
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ(own, texts[0]);

    if (mine != "en") {
        HttpTestServer::Publish("1.11",
                                Manifest("[]", "{\"" + other + "\": \"x\", \"en\": \"" + Utf8(english) + "\"}"));
        texts = Check({IDNO}, AutoUpdater::MANUAL_CHECK);
        ASSERT_EQ(1u, texts.size());
        EXPECT_EQ(english, texts[0]);
    }

    int requests = UpdateRequests();
    HttpTestServer::Publish("1.11", Manifest("[]", "{\"" + other + "\": \"x\"}"));
    EXPECT_EQ(0u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    // An answer over 1 MiB is no answer, however well-formed.
    HttpTestServer::Publish("1.11",
                            Manifest("[]", "{\"en\": \"" + std::string(AutoUpdater::MaxAnswerBytes, 'a') + "\"}"));
    EXPECT_EQ(0u, Check({IDNO}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ(requests + 2, UpdateRequests());
}

TEST_F(Updater, InstallsIntoTheProgramFolderKeepingThePreviousFilesAsOld) {
    programFolder.Write(L"Veltrix.exe", "old program");
    // Left read-only by a copy tool: it is still replaced.
    SetFileAttributesW(programFolder.Write(L"Veltrix_old.exe", "older program").c_str(), FILE_ATTRIBUTE_READONLY);
    programFolder.Write(L"data.json", "old data");
    HttpTestServer::Publish(
        "1.11", Manifest("[{\"name\": \"Veltrix.exe\"}, {\"name\": \"data.json\"}, {\"name\": \"added.txt\"}]"),
        {{L"Veltrix.exe", "new program"}, {L"data.json", "new data"}, {L"added.txt", "added"}});
    ASSERT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ("new program", File(L"Veltrix.exe"));
    EXPECT_EQ("old program", File(L"Veltrix_old.exe"));
    EXPECT_EQ("new data", File(L"data.json"));
    EXPECT_EQ("old data", File(L"data.json_old.json"));
    EXPECT_EQ("added", File(L"added.txt"));
    EXPECT_EQ("<missing>", File(L"Veltrix_new.exe"));
    EXPECT_EQ("<missing>", File(L"data.json_new.json"));

    // An archive is unpacked over the program folder, with its folders, and then removed; but not before
    // the new version has started and kept the update before.
    std::string zip = ZipOf({{"Veltrix.exe", "zipped program"}, {"lang/de.txt", "Deutsch"}});
    ASSERT_FALSE(zip.empty());
    HttpTestServer::Publish("1.12", Manifest("[{\"name\": \"Veltrix.exe\", \"zip\": \"update.zip\"}]"),
                            {{L"update.zip", zip}});
    ASSERT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ("new program", File(L"Veltrix.exe"));
    ASSERT_TRUE(Confirm());
    EXPECT_EQ("<missing>", File(L"Veltrix_old.exe"));
    ASSERT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ("zipped program", File(L"Veltrix.exe"));
    EXPECT_EQ("new program", File(L"Veltrix_old.exe"));
    EXPECT_EQ("Deutsch", File(L"lang\\de.txt"));
    EXPECT_EQ("<missing>", File(L"update_new.zip"));

    WString marked;
    UpdateNames::MarkedPath(L"C:\\Program Files\\Veltrix\\data.json", L"_new", marked);
    EXPECT_STREQ(L"C:\\Program Files\\Veltrix\\data.json_new.json", marked);
    UpdateNames::MarkedPath(L"C:\\v.1\\README", L"_old", marked);
    EXPECT_STREQ(L"C:\\v.1\\README_old", marked);
    UpdateNames::MarkedPath(L"update.zip", L"_new", marked);
    EXPECT_STREQ(L"update_new.zip", marked);
}

TEST_F(Updater, RestartsWithTheUsersConsentThenClosesTheMainWindow) {
    // The program started after the update proves itself by a file in the program folder.
    HttpTestServer::Publish(
        "1.11",
        "{\"application\": \"Veltrix Update Test\", \"info\": {\"en\": \"Install?\"}, \"restart\": "
        "{\"en\": \"Restart now?\"}, \"execute\": \"restart.cmd\", \"files\": [{\"name\": \"restart.cmd\"}]}",
        {{L"restart.cmd", "@echo started> started.txt\r\n"}});
    std::vector<std::wstring> texts = Check({IDYES, IDNO}, AutoUpdater::MANUAL_CHECK);
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(L"Restart now?", texts[1]);
    EXPECT_TRUE(IsWindow(window)) << "declined: the program keeps running";
    EXPECT_EQ("@echo started> started.txt\r\n", File(L"restart.cmd"));
    ASSERT_TRUE(Confirm());

    texts = Check({IDYES, IDYES}, AutoUpdater::MANUAL_CHECK);
    ASSERT_EQ(2u, texts.size());
    // Until cmd.exe has written it (the file exists, empty, a moment before).
    for (int i = 0; i < 200 && File(L"started.txt").find("started") == std::string::npos; i++)
        Sleep(50);
    EXPECT_EQ(0u, File(L"started.txt").find("started")) << File(L"started.txt");
    // WM_CLOSE was posted to the main window, which ends the running instance.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(Updater, AnInstallerLandsOnTheDesktopAndRunsInsteadOfTheProgramAndHelpOpensNoLocalFile) {
    // The installer and the help link each prove themselves by a file in the program folder; a help link
    // that is no web address must not run.
    std::string proof = std::string(folder.begin(), folder.end());
    programFolder.Write(L"help.cmd", "@echo helped> \"" + proof + "helped.txt\"\r\n");
    std::string helpPath = proof + "help.cmd";
    for (size_t at = 0; (at = helpPath.find('\\', at)) != std::string::npos; at += 2)
        helpPath.insert(at, "\\");
    HttpTestServer::Publish(
        "1.11",
        "{\"application\": \"Veltrix Update Test\", \"info\": {\"en\": \"Install?\"}, \"help\": \"" + helpPath +
            "\", \"restart\": {\"en\": \"\"}, \"files\": [{\"installer\": \"Setup.cmd\"}]}",
        {{L"Setup.cmd", "@echo installed> \"" + proof + "installed.txt\"\r\n"}});
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, TRUE));
    std::wstring setup = std::wstring(desktop) + L"\\Setup.cmd";
    std::vector<std::wstring> texts = Check({IDHELP, IDYES}, AutoUpdater::MANUAL_CHECK);
    EXPECT_EQ(1u, texts.size()) << "an empty restart text restarts without asking";
    for (int i = 0; i < 200 && File(L"installed.txt").find("installed") == std::string::npos; i++)
        Sleep(50);
    EXPECT_EQ(0u, File(L"installed.txt").find("installed"));
    EXPECT_EQ("<missing>", File(L"helped.txt"));
    EXPECT_NE("<missing>", ReadAll(setup)) << "the installer is kept on the desktop";
    EXPECT_EQ("<missing>", File(L"Setup_new.cmd"));
    DeleteFileW(setup.c_str());
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    EXPECT_FALSE(IsWindow(window)) << "the running instance closes for the installer";
}

TEST_F(Updater, FailedDownloadOrRenameLeavesTheProgramFolderAsItWas) {
    programFolder.Write(L"a.bin", "old a");
    programFolder.Write(L"b.bin", "old b");
    // b.bin is listed but not published: its download fails after a.bin's succeeded.
    HttpTestServer::Publish("1.11", Manifest("[{\"name\": \"a.bin\"}, {\"name\": \"b.bin\"}]"), {{L"a.bin", "new a"}});
    ASSERT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ("old a", File(L"a.bin"));
    EXPECT_EQ("old b", File(L"b.bin"));
    EXPECT_EQ("<missing>", File(L"a_new.bin"));
    EXPECT_EQ("<missing>", File(L"a_old.bin"));

    // Held open without delete sharing, b.bin cannot be renamed once a.bin already was.
    HttpTestServer::Publish("1.11", Manifest("[{\"name\": \"a.bin\"}, {\"name\": \"b.bin\"}]"),
                            {{L"a.bin", "new a"}, {L"b.bin", "new b"}});
    HANDLE held = CreateFileW((folder + L"b.bin").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    CloseHandle(held);
    EXPECT_EQ("old a", File(L"a.bin"));
    EXPECT_EQ("old b", File(L"b.bin"));
    for (const wchar_t* gone : {L"a_old.bin", L"b_old.bin", L"a_new.bin", L"b_new.bin"})
        EXPECT_EQ("<missing>", File(gone)) << gone;

    // An archive for the program's own file replaces more than that file; when what it unpacked is not
    // the announced version, every file it replaced comes back and every file it added goes.
    programFolder.Write(L"update_tests.exe", "old program");
    std::string zip = ZipOf({{"update_tests.exe", "no program at all"}, {"b.bin", "zipped b"}, {"lang/c.txt", "c"}});
    HttpTestServer::Publish("1.11", Manifest("[{\"name\": \"update_tests.exe\", \"zip\": \"update.zip\"}]"),
                            {{L"update.zip", zip}});
    ASSERT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ("old program", File(L"update_tests.exe"));
    EXPECT_EQ("old b", File(L"b.bin"));
    for (const wchar_t* gone : {L"lang\\c.txt", L"b_old.bin", L"update_tests_old.exe", L"update_new.zip"})
        EXPECT_EQ("<missing>", File(gone)) << gone;
}

TEST_F(Updater, RefusesAnswersNamingFilesOutsideTheProgramFolder) {
    programFolder.Write(L"Veltrix.exe", "old program");
    const char* names[] = {"..\\\\outside.exe", "C:\\\\Windows\\\\evil.exe", "sub/../../outside.exe"};
    for (const char* name : names) {
        HttpTestServer::Publish("1.11",
                                Manifest("[{\"name\": \"Veltrix.exe\"}, {\"name\": \"" + std::string(name) + "\"}]"),
                                {{L"Veltrix.exe", "new program"}});
        EXPECT_EQ(0u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size()) << name;
    }
    EXPECT_EQ("old program", File(L"Veltrix.exe"));
    EXPECT_EQ("<missing>", File(L"Veltrix_new.exe"));

    // A program folder that takes no new file (for one, Program Files to a user without the rights):
    // nothing is offered that could not be installed.
    HttpTestServer::Publish("1.11", Manifest("[{\"name\": \"Veltrix.exe\"}]"), {{L"Veltrix.exe", "new program"}});
    std::wstring notAFolder = folder + L"Veltrix.exe\\";
    updater.SetProgramFolder(notAFolder.c_str());
    EXPECT_EQ(0u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    updater.SetProgramFolder(folder.c_str());
    EXPECT_EQ(1u, Check({IDNO}, AutoUpdater::MANUAL_CHECK).size())
        << "the same answer is offered where it can be installed";

    const char* prefix = "<update><info><en>i</en></info><version>1.11</version><files>";
    const char* bad[] = {"<url>http://h/get.php?f=..</url>", "<url>http://h/</url>",
                         "<url name='a.exe' zip='..\\u.zip'>http://h/u.zip</url>", "<url name='a.exe'></url>",
                         "<url name='a.exe'>http://h/a</url><execute>..\\x.exe</execute>"};
    UpdateAnswer answer;
    for (const char* files : bad)
        EXPECT_EQ(0, UpdateAnswer::Read(Body(std::string(prefix) + files + "</files></update>"), answer)) << files;
    ASSERT_EQ(1, UpdateAnswer::Read(
                     Body(std::string(prefix) + "<url>http://h/get.php?f=Setup.exe</url></files></update>"), answer));
    WString installer;
    UpdateNames::InstallerName(answer.files[0].url, installer);
    EXPECT_STREQ(L"Setup.exe", installer);
    EXPECT_EQ(1, UpdateNames::IsWebAddress(L"HTTPS://www.koravent.com/help"));
    EXPECT_EQ(0, UpdateNames::IsWebAddress(L"file:///C:/Windows/notepad.exe"));
    EXPECT_EQ(0, UpdateNames::IsWebAddress(L"C:\\Windows\\notepad.exe"));
}

TEST_F(Updater, WithThePublishersKeyReadsNothingOfAnAnswerWhoseSignatureFails) {
    updater.SetPublicKey(VELTRIX_TEST_PUBLIC_KEY);
    programFolder.Write(L"notes.txt", "old notes");
    const std::string release = Manifest("[{\"name\": \"notes.txt\"}]");
    struct Refused {
        const char* what;
        const char* key; // null: not signed at all
        double days;
        const char* product;
    } refused[] = {{"unsigned", nullptr, 90, "veltrix"},
                   {"another key", "TEST-ONLY-other.pem", 90, "veltrix"},
                   {"expired", "TEST-ONLY-publisher.pem", -1, "veltrix"},
                   {"another product", "TEST-ONLY-publisher.pem", 90, "othermenu"}};
    for (const Refused& answer : refused) {
        HttpTestServer::Publish("1.11", release, {{L"notes.txt", "new notes"}});
        ASSERT_TRUE(!answer.key || HttpTestServer::Sign("1.11", answer.key, answer.days, answer.product));
        std::string log = ReadAll(HttpTestServer::UpdateLog());
        EXPECT_EQ(0u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size()) << answer.what << ": no question";
        EXPECT_EQ(std::string::npos, ReadAll(HttpTestServer::UpdateLog()).find("/files/", log.size()))
            << answer.what << ": no download";
    }
    // An answer with only the signature copies from before key ids read is refused: it is no proof that
    // the bytes were signed as an answer.
    HttpTestServer::Publish("1.11", release, {{L"notes.txt", "new notes"}});
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    std::string bytes = ReadAll(HttpTestServer::PartFolder("1.11") + L"\\answer.xml");
    size_t keySignature = bytes.find("<!--key-signature:"), legacy = bytes.find("<!--signature:");
    HttpTestServer::ReplaceAnswer("1.11", bytes.substr(0, keySignature) + bytes.substr(legacy));
    EXPECT_EQ(0u, Check({IDNO}, AutoUpdater::MANUAL_CHECK).size()) << "the old form alone";
    // While the publisher changes keys: an answer signed by two keys is read by a build holding either,
    // and a build holding two keys reads one signed by either.
    const std::wstring publisher = VELTRIX_TEST_PUBLIC_KEY, other = L"AAAA" + publisher.substr(4);
    for (auto [build, signers] : {std::pair{publisher, "TEST-ONLY-publisher.pem,TEST-ONLY-other.pem"},
                                  std::pair{other + L"," + publisher, "TEST-ONLY-publisher.pem"}}) {
        updater.SetPublicKey(build.c_str());
        ASSERT_TRUE(HttpTestServer::Sign("1.11", signers));
        EXPECT_EQ(1u, Check({IDNO}, AutoUpdater::MANUAL_CHECK).size()) << signers;
    }
    updater.SetPublicKey(VELTRIX_TEST_PUBLIC_KEY);
    // Signed, then the file changed on the server: asked and downloaded, then refused for its hash.
    HttpTestServer::Publish("1.11", release, {{L"notes.txt", "new notes"}});
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    std::wstring changed = HttpTestServer::PartFolder("1.11") + L"\\notes.txt";
    HANDLE file = CreateFileW(changed.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "new noteZ", 9, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ("old notes", File(L"notes.txt"));
    EXPECT_EQ("<missing>", File(L"notes.txt_new.txt"));

    HttpTestServer::Publish("1.11", release, {{L"notes.txt", "new notes"}});
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    EXPECT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    EXPECT_EQ("new notes", File(L"notes.txt"));
}

TEST_F(Updater, ASignedAnswerStillMayNotTouchWhatTheProgramLoadsOrStartAnotherProgram) {
    updater.SetPublicKey(VELTRIX_TEST_PUBLIC_KEY);
    programFolder.Write(L"Uninstall.exe", "the uninstaller");
    programFolder.Write(L"update_tests.exe", "old program");
    const std::map<std::wstring, std::string> before = TempFolder::Snapshot(folder);
    for (const char* name : {"version.dll", "Veltrix.exe.local", "Veltrix.ini", "portable.dat", "Veltrix.sql",
                             "Veltrix_Debug.txt", "VELTRI~1.EXE"}) {
        std::string file(name);
        HttpTestServer::Publish("1.11", Manifest("[{\"name\": \"" + file + "\"}]"),
                                {{std::wstring(file.begin(), file.end()), "planted"}});
        ASSERT_TRUE(HttpTestServer::Sign("1.11")) << name;
        EXPECT_EQ(0u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size()) << name;
    }
    // The restart may start only a file of the same answer.
    HttpTestServer::Publish("1.11",
                            "{\"application\": \"Veltrix Update Test\", \"info\": {\"en\": \"Install?\"}, "
                            "\"restart\": {\"en\": \"\"}, \"execute\": \"Uninstall.exe\", \"files\": "
                            "[{\"name\": \"notes.txt\"}]}",
                            {{L"notes.txt", "notes"}});
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    EXPECT_EQ(0u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    // An archive listed under another name that holds the program's own file in the wrong version, one
    // that holds a library, a folder that redirects the loader, or two names of one file: everything is
    // put back.
    for (const char* planted : {"update_tests.exe", "sub/helper.dll", "update_tests.exe.local/", "DATA.TXT"}) {
        std::string zip = ZipOf({{"data.txt", "new data"}, {planted, strchr(planted, '/') ? "" : "not the program"}});
        HttpTestServer::Publish("1.11", Manifest("[{\"name\": \"data.txt\", \"zip\": \"update.zip\"}]"),
                                {{L"update.zip", zip}});
        ASSERT_TRUE(HttpTestServer::Sign("1.11"));
        EXPECT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size()) << planted;
    }
    EXPECT_TRUE(before == TempFolder::Snapshot(folder)) << "the program folder changed";
}

TEST_F(Updater, InstallsOnlyTheAnswerAndTheProgramFileOfItsOwnArchitecture) {
    updater.SetPublicKey(VELTRIX_TEST_PUBLIC_KEY);
    const char *own = HttpTestServer::Architecture, *other = strcmp(own, "x86") == 0 ? "x64" : "x86";
    // The 1.11 the build made for this machine, and the same bytes marked for the other one.
    WString bin;
    ASSERT_TRUE(VersionInfo::ModuleDirectory(nullptr, bin));
    const std::string program = ReadAll(std::wstring(bin) + L"releases\\1.11\\Veltrix.exe");
    ASSERT_GT(program.size(), 0x40u);
    std::string foreign = program;
    const WORD machine = BuildMachine == IMAGE_FILE_MACHINE_I386 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    memcpy(&foreign[*(const DWORD*)(program.data() + 0x3C) + 4], &machine, 2);
    programFolder.Write(L"update_tests.exe", "old program");
    const std::map<std::wstring, std::string> before = TempFolder::Snapshot(folder);
    const std::string plain = "[{\"name\": \"update_tests.exe\"}]", zip = "[{\"name\": \"d.txt\", \"zip\": \"u.zip\"}]",
                      helper = "[{\"name\": \"helper.exe\"}]";
    struct {
        const char* what;
        std::string arch; // named in the update address: the build whose answer the server sends
        const std::string& files;
        std::pair<std::wstring, std::string> file;
        size_t asked;
    } cases[] = {
        {"the other build's answer", other, plain, {L"update_tests.exe", program}, 0},
        {"the other machine's program", own, plain, {L"update_tests.exe", foreign}, 1},
        {"the other machine's program in an archive", own, zip, {L"u.zip", ZipOf({{"update_tests.exe", foreign}})}, 1},
        {"another file of the other machine", own, helper, {L"helper.exe", foreign}, 1},
        {"another file of the other machine in an archive",
         own,
         zip,
         {L"u.zip", ZipOf({{"d.txt", "text"}, {"tools/helper.exe", foreign}})},
         1},
        {"this build's answer and program", own, plain, {L"update_tests.exe", program}, 1}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        HttpTestServer::Publish("1.11", Manifest(test.files), {test.file}, test.arch.c_str());
        ASSERT_TRUE(HttpTestServer::Sign("1.11", "TEST-ONLY-publisher.pem", 90, "veltrix", test.arch.c_str()));
        const size_t logged = ReadAll(HttpTestServer::UpdateLog()).size();
        EXPECT_EQ(test.asked, Check({IDYES}, AutoUpdater::MANUAL_CHECK, "&arch=" + test.arch).size());
        EXPECT_NE(std::string::npos, ReadAll(HttpTestServer::UpdateLog()).find("signed " + test.arch, logged));
        EXPECT_TRUE(&test == &cases[5] ? File(L"update_tests.exe") == program : before == TempFolder::Snapshot(folder));
    }
}

TEST(PeHeader, ReadsTheMachineOnlyFromHeadersThatLieWithinTheFile) {
    // A minimal 64-bit PE file: the DOS header pointing at the PE signature and file header right after it.
    std::string pe(0x40 + 24, '\0');
    pe.replace(0, 2, "MZ").replace(0x3C, 1, "\x40").replace(0x40, 6, "PE\0\0\x64\x86", 6);
    auto with = [&pe](size_t at, const char* bytes) { return std::string(pe).replace(at, strlen(bytes), bytes); };
    TempFolder files(L"pe");
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, PeHeader::ReadMachine(files.Write(L"64.exe", pe).c_str()));
    // No MZ, no PE signature, headers past the end, a negative offset to them.
    for (const std::string& bytes :
         {with(0, "ZM"), with(0x41, "X"), with(0x3C, "\x48"), with(0x3C, "\xFC\xFF\xFF\xFF")})
        EXPECT_EQ(0, PeHeader::ReadMachine(files.Write(L"refused.exe", bytes).c_str()));
}

TEST_F(Updater, AnInstallerNeverTouchesAFileOnTheDesktop) {
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, TRUE));
    TempFolder user(L"desktop", desktop);
    const std::wstring thesis = user.Path() + L"\\Thesis.docx", second = user.Path() + L"\\Thesis (2).docx";
    user.Write(L"Thesis.docx", "my thesis");
    // The installer lands in the user's folder here, as on the desktop.
    updater.SetInstallerFolder(user.Path().c_str());
    const std::string release = Manifest("[{\"installer\": \"Thesis.docx\"}]");
    // Announced but not there (the download fails), then there: the user's file stays either way, and the
    // installer takes a free name beside it.
    HttpTestServer::Publish("1.11", release);
    EXPECT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    std::map<std::wstring, std::string> expected = {{L"Thesis.docx", "my thesis"}};
    EXPECT_TRUE(expected == TempFolder::Snapshot(user.Path())) << "a failed download left the folder changed";
    HttpTestServer::Publish("1.11", release, {{L"Thesis.docx", "the server's bytes"}});
    EXPECT_EQ(1u, Check({IDYES}, AutoUpdater::MANUAL_CHECK).size());
    expected[L"Thesis (2).docx"] = "the server's bytes";
    EXPECT_TRUE(expected == TempFolder::Snapshot(user.Path()));
}

TEST_F(Updater, ClosingWhileTheQuestionIsUpDeclinesNothing) {
    // Once mode: the close timer fires inside the question's loop, and the program closes as OnClose does.
    static AutoUpdater* closing;
    closing = &updater;
    struct Tick {
        static VOID CALLBACK OnTimer(HWND owner, UINT, UINT_PTR id, DWORD) {
            if (!FindWindowW(L"#32770", L"Veltrix Update Test"))
                return;
            KillTimer(owner, id);
            closing->Abort();
            DestroyWindow(owner);
        }
    };
    HttpTestServer::Publish("1.11", Manifest("[{\"name\": \"notes.txt\"}]"), {{L"notes.txt", "notes"}});
    SetTimer(window, 78, 20, Tick::OnTimer);
    std::wstring url = HttpTestServer::UpdateUrl(L"/data/update.php?p=veltrix");
    ASSERT_EQ(1, updater.Start(url.c_str(), window, HKEY_CURRENT_USER, TestKey, L"LastCheck", 0));
    DWORD start = GetTickCount();
    while (IsWindow(window) && GetTickCount() - start < 20000) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(10);
    }
    ASSERT_FALSE(IsWindow(window));
    updater.Abort();
    EXPECT_EQ(L"", ReadText(L"LastCheckVersion")) << "a version the user never declined";
    EXPECT_EQ("<missing>", File(L"notes.txt"));
    window = CreateWindowW(L"STATIC", L"updater test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    WriteNumber(L"LastCheck", 1);
    EXPECT_EQ(1u, Check({IDNO}).size()) << "asked again at the next check";
}

TEST(UpdateAnswer, MutatedAnswersAreReadWithoutHarm) {
    const std::string base = "<?xml version=\"1.0\"?><update><application>Veltrix</application>"
                             "<version>1.11</version><help>https://www.koravent.com/</help>"
                             "<info><en>Install?</en><de>Installieren?</de></info><restart><en>Now?</en></restart>"
                             "<files><url name=\"Veltrix.exe\">http://h/Veltrix.exe</url>"
                             "<url name=\"data.json\" zip=\"update.zip\">http://h/u.zip</url>"
                             "<url>http://h/get.php?f=Setup.exe</url><execute>Veltrix.exe</execute></files></update>";
    const char alphabet[] = "<>/\\.=\"'?&;:01 9ax\x80\xC3\xFF\n";
    std::mt19937 random(20261208);
    int accepted = 0;
    const int count = 10000;
    for (int i = 0; i < count; i++) {
        std::string mutated = base;
        int edits = 1 + random() % 6;
        for (int e = 0; e < edits && !mutated.empty(); e++) {
            size_t at = random() % mutated.size();
            switch (random() % 4) {
                case 0:
                    mutated[at] = alphabet[random() % (sizeof(alphabet) - 1)];
                    break;
                case 1:
                    mutated.erase(at, 1 + random() % 8);
                    break;
                case 2:
                    mutated.insert(at, mutated.substr(random() % mutated.size(), random() % 40));
                    break;
                default:
                    mutated.insert(at, 1, alphabet[random() % (sizeof(alphabet) - 1)]);
                    break;
            }
        }
        UpdateAnswer answer;
        if (!UpdateAnswer::Read(Body(mutated), answer))
            continue;
        accepted++;
        // Whatever got through names only files inside the program folder.
        for (const UpdateFile& file : answer.files) {
            if (file.name.IsEmpty()) {
                WString name;
                UpdateNames::InstallerName(file.url, name);
                ASSERT_EQ(1, IsPlainFileName(name)) << mutated;
            } else {
                ASSERT_EQ(1, IsContainedName(file.name)) << mutated;
            }
        }
        unsigned major = 0, minor = 0;
        ASSERT_EQ(1, UpdateAnswer::ParseVersion(answer.version, &major, &minor)) << mutated;
    }
    printf("mutated update answers: %d read, %d accepted\n", count, accepted);
    EXPECT_GT(accepted, 0);
}

// A signed answer as the publisher signs it, mutated: no change to a byte the signature covers, and no
// change to the signature, is ever accepted.
TEST(UpdateAnswer, MutatedSignedAnswersAreNeverAccepted) {
    HttpTestServer::Publish("1.11",
                            Manifest("[{\"name\": \"Veltrix.exe\"}, {\"name\": \"data.txt\", \"zip\": \"u.zip\"}, "
                                     "{\"installer\": \"Setup.exe\"}]"),
                            {{L"Veltrix.exe", "program"}, {L"u.zip", "archive"}, {L"Setup.exe", "setup"}});
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    const std::string base = ReadAll(HttpTestServer::PartFolder("1.11") + L"\\answer.xml");
    std::vector<std::vector<BYTE>> key(1);
    ASSERT_EQ(1, UpdateSignature::DecodeBase64(VELTRIX_TEST_PUBLIC_KEY, key[0]));
    const unsigned long long now = (unsigned long long)time(nullptr);
    UpdateAnswer answer;
    ASSERT_EQ(1, UpdateAnswer::Read(Body(base), answer, &key, now));
    // Copies from before key ids check the last comment, over everything before it: they read it too.
    size_t legacy = base.rfind("<!--signature:"), legacyEnd = base.rfind("-->");
    std::string oldSignature = base.substr(legacy + 14, legacyEnd - legacy - 14);
    EXPECT_EQ(1, UpdateSignature::VerifyBytes(key[0], base.data(), legacy,
                                              std::wstring(oldSignature.begin(), oldSignature.end()).c_str()));
    EXPECT_EQ(3u, answer.files.size());
    // What the key signature covers: the document and the key signature itself, not the last comment,
    // which only copies from before key ids check.
    auto content = [](const std::string& bytes) { return bytes.substr(0, bytes.find("<!--key-signature:")); };
    const char alphabet[] = "<>/\\.=\"'?&;:01 9ax+AZ\x80\xFF\n";
    std::mt19937 random(20261209);
    const int count = 10000;
    int accepted = 0;
    DWORD start = GetTickCount();
    for (int i = 0; i < count; i++) {
        std::string mutated = base;
        for (int e = 0, edits = 1 + random() % 4; e < edits && !mutated.empty(); e++) {
            // Half of the edits go to the key signature (the last comment is read by older copies only).
            size_t keySignature = std::min(mutated.size(), base.rfind("<!--signature:"));
            size_t at =
                random() % 2 || keySignature < 120 ? random() % mutated.size() : keySignature - 1 - random() % 110;
            switch (random() % 4) {
                case 0:
                    mutated[at] = alphabet[random() % (sizeof(alphabet) - 1)];
                    break;
                case 1:
                    mutated.erase(at, 1 + random() % 8);
                    break;
                case 2:
                    mutated.insert(at, mutated.substr(random() % mutated.size(), random() % 40));
                    break;
                default:
                    mutated.insert(at, 1, alphabet[random() % (sizeof(alphabet) - 1)]);
                    break;
            }
        }
        if (!UpdateAnswer::Read(Body(mutated), answer, &key, now))
            continue;
        accepted++;
        // Only what follows the document may differ: it is outside what the key signed.
        ASSERT_EQ(content(base), content(mutated)) << i;
    }
    printf("mutated signed answers: %d read, %d accepted (all with the signed bytes unchanged), in %lu ms\n", count,
           accepted, (unsigned long)(GetTickCount() - start));
}

// Run in a process of their own (ctest's update_tests_deadline): they wait for slow servers.
TEST(UpdaterDeadline, StopReturnsAgainstAServerThatStallsOrDripsAndAbortSoonerStill) {
    if (!GetEnvironmentVariableW(L"VELTRIX_DEADLINE_TESTS", nullptr, 0))
        GTEST_SKIP() << "run by update_tests_deadline";
    HWND window =
        CreateWindowW(L"STATIC", L"deadline", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (const wchar_t* path : {L"/stall", L"/drip?size=200"}) {
        AutoUpdater updater;
        // The drip's bytes come faster than the receive time-out: only the overall deadline ends it.
        updater.SetTimeouts(4000, 5000);
        std::wstring url = HttpTestServer::Url(path);
        ASSERT_EQ(1, updater.Start(url.c_str(), window, nullptr, nullptr, AutoUpdater::MANUAL_CHECK, 0));
        DWORD start = GetTickCount();
        updater.Stop();
        DWORD stopped = GetTickCount() - start;
        // Without a bound the stall lasts two minutes and the drip ten.
        EXPECT_LT(stopped, 30000u) << path;
        // As the program closes: cancelled half a second in.
        AutoUpdater closing;
        closing.SetTimeouts(60000, 20000);
        ASSERT_EQ(1, closing.Start(url.c_str(), window, nullptr, nullptr, AutoUpdater::MANUAL_CHECK, 0));
        Sleep(500);
        start = GetTickCount();
        closing.Abort();
        DWORD aborted = GetTickCount() - start;
        EXPECT_LE(aborted, AutoUpdater::AbortWait + 1000) << path;
        printf("%ls: Stop returned after %lu ms, Abort after %lu ms\n", path, (unsigned long)stopped,
               (unsigned long)aborted);
    }
    DestroyWindow(window);
}
