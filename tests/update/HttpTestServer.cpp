#include "HttpTestServer.h"

#include "TempFolder.h"

#include <winsock2.h>
#include <windows.h>

namespace {

// One server started on the host: where it listens, the file it reported that in, and its lease.
struct HostServer {
    int port = 0;
    std::wstring portFile;
    SOCKET lease = INVALID_SOCKET;
};

HostServer testServer;
HostServer updateServer;
std::wstring releasesFolder;
std::wstring reportsFolder;
std::wstring logFile;

// Wine's own bridge from its paths to the host's: the server is a host program and knows only host
// paths. Looked up at run time, as it exists only under Wine.
typedef char*(CDECL* UnixNameFn)(const wchar_t* dosName);

std::string UnixName(const std::wstring& dosName) {
    UnixNameFn convert = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = convert ? convert(dosName.c_str()) : nullptr;
    std::string result = name ? name : "";
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return result;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    char buffer[512];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

// Opens the server's lease: a connection that stays open for as long as the tests run. When it closes,
// on TearDown or because this process died, the server ends.
SOCKET OpenLease(int serverPort) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)serverPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const char request[] = "GET /lease HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    char answer[256];
    int received = 0;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        send(s, request, (int)sizeof(request) - 1, 0) == (int)sizeof(request) - 1)
        received = recv(s, answer, sizeof(answer) - 1, 0);
    if (received <= 0 || strncmp(answer, "HTTP/1.1 200", 12) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// Starts a host program through Wine. Wine starts a host program given by its host path, but hands back no
// process handle for it: the caller learns of its end from the files it writes.
bool StartHost(const std::string& arguments) {
    std::wstring commandLine(arguments.begin(), arguments.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"/usr/bin/python3", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    return true;
}

// Starts a host Python script (its arguments already quoted) with a port file and takes its lease.
void Launch(HostServer& server, const char* name, const std::string& scriptAndArguments) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    server.portFile = std::wstring(temp) + L"veltrix-" + std::wstring(name, name + strlen(name)) + L"-" +
                      std::to_wstring(GetCurrentProcessId()) + L".port";
    DeleteFileW(server.portFile.c_str());
    std::string unixPortFile = UnixName(server.portFile);
    ASSERT_FALSE(unixPortFile.empty()) << "the test server is started through Wine's host bridge";

    std::string arguments = "python3 -u " + scriptAndArguments + " --idle 300 --port-file \"" + unixPortFile + "\"";
    // The server is ended through its lease, and ends itself when idle.
    ASSERT_TRUE(StartHost(arguments)) << GetLastError();
    for (int i = 0; i < 300 && server.port == 0; i++) {
        server.port = atoi(ReadFileText(server.portFile).c_str());
        if (server.port == 0)
            Sleep(100);
    }
    ASSERT_NE(0, server.port) << name << " did not report its port";
    server.lease = OpenLease(server.port);
    ASSERT_NE(INVALID_SOCKET, server.lease) << name << " gave no lease";
}

void End(HostServer& server) {
    if (server.lease != INVALID_SOCKET) {
        closesocket(server.lease);
        server.lease = INVALID_SOCKET;
        // The server removes its port file as it ends.
        int gone = 0;
        for (int i = 0; i < 100 && !gone; i++) {
            gone = GetFileAttributesW(server.portFile.c_str()) == INVALID_FILE_ATTRIBUTES;
            if (!gone)
                Sleep(100);
        }
        EXPECT_TRUE(gone) << "a test server did not end";
    }
    server.port = 0;
}

} // namespace

void HttpTestServer::SetUp() {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    Launch(testServer, "http", "\"" VELTRIX_HTTP_TEST_SERVER "\"");
    // The program's own update server, publishing from a releases folder the tests fill.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = std::wstring(temp) + L"veltrix-releases-" + std::to_wstring(GetCurrentProcessId());
    releasesFolder = base + L"\\";
    reportsFolder = base + L"-reports\\";
    logFile = base + L".log";
    CreateDirectoryW(base.c_str(), nullptr);
    TempFolder::RemoveTree(base + L"-reports");
    CreateDirectoryW((base + L"-reports").c_str(), nullptr);
    DeleteFileW(logFile.c_str());
    HANDLE log = CreateFileW(logFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (log != INVALID_HANDLE_VALUE)
        CloseHandle(log);
    // The links of its answers name its own address, which it must be told: a port no one uses now. Every
    // client of the tests comes from this one address, which may take as many connections as all.
    int port = UnusedPort();
    Launch(updateServer, "update",
           "\"" VELTRIX_UPDATE_SERVER "\" --releases \"" + UnixName(base) + "\" --log \"" + UnixName(logFile) +
               "\" --reports \"" + UnixName(base + L"-reports") + "\" --port " + std::to_string(port) +
               " --max-per-client 64 --base-url http://127.0.0.1:" + std::to_string(port));
}

void HttpTestServer::TearDown() {
    End(updateServer);
    // Each report holds a minidump of some megabytes.
    if (!reportsFolder.empty())
        TempFolder::RemoveTree(reportsFolder.substr(0, reportsFolder.size() - 1));
    End(testServer);
    WSACleanup();
}

int HttpTestServer::UpdatePort() {
    return updateServer.port;
}

std::wstring HttpTestServer::UpdateUrl(const wchar_t* path) {
    return L"http://127.0.0.1:" + std::to_wstring(updateServer.port) + path;
}

std::wstring HttpTestServer::ReleasesFolder() {
    return releasesFolder;
}

std::wstring HttpTestServer::ReportsFolder() {
    return reportsFolder;
}

std::wstring HttpTestServer::UpdateLog() {
    return logFile;
}

void HttpTestServer::Publish(const char* version, const std::string& manifest,
                             const std::vector<std::pair<std::wstring, std::string>>& files, const char* architecture) {
    Unpublish();
    std::wstring folder = PartFolder(version, architecture);
    CreateDirectoryW(PartFolder(version, "x86").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(folder + L"\\release.json", manifest);
    for (const auto& file : files)
        WriteBytes(folder + L"\\" + file.first, file.second);
}

std::wstring HttpTestServer::PartFolder(const char* version, const char* architecture) {
    std::wstring folder = releasesFolder + std::wstring(version, version + strlen(version));
    return strcmp(architecture, "x64") == 0 ? folder + L"\\x64" : folder;
}

int HttpTestServer::Sign(const char* version, const char* key, double days, const char* product,
                         const char* architecture) {
    std::wstring folder = releasesFolder + std::wstring(version, version + strlen(version));
    std::wstring signedAnswer = PartFolder(version, architecture) + L"\\answer.xml";
    DeleteFileW(signedAnswer.c_str());
    // "first.pem,second.pem": signed by both keys.
    std::string keys(key), second;
    size_t comma = keys.find(',');
    if (comma != std::string::npos)
        second = " --second-key \"" + std::string(VELTRIX_TEST_KEYS) + "/" + keys.substr(comma + 1) + "\"";
    std::string keyPath = std::string(VELTRIX_TEST_KEYS) + "/" + keys.substr(0, comma);
    char daysText[32];
    snprintf(daysText, sizeof(daysText), "%.6f", days);
    std::string arguments = "python3 \"" VELTRIX_SIGN_RELEASE "\" release \"" + keyPath + "\" \"" + UnixName(folder) +
                            "\" --days " + daysText + " --product " + product + " --arch " + architecture +
                            " --base-url http://127.0.0.1:" + std::to_string(updateServer.port) + second;
    if (!StartHost(arguments))
        return 0;
    // The script writes the signed answer whole, under its name only once complete.
    for (int i = 0; i < 300; i++) {
        if (GetFileAttributesW(signedAnswer.c_str()) != INVALID_FILE_ATTRIBUTES)
            return 1;
        Sleep(100);
    }
    return 0;
}

void HttpTestServer::ReplaceAnswer(const char* version, const std::string& bytes) {
    WriteBytes(PartFolder(version) + L"\\answer.xml", bytes);
}

void HttpTestServer::Unpublish() {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((releasesFolder + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                TempFolder::RemoveTree(releasesFolder + name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
}

int HttpTestServer::Port() {
    return testServer.port;
}

std::wstring HttpTestServer::Url(const wchar_t* path) {
    return L"http://127.0.0.1:" + std::to_wstring(testServer.port) + path;
}

int HttpTestServer::UnusedPort() {
    // Bound and closed without listening: a connection to it is refused.
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    closesocket(s);
    return port;
}

std::string HttpTestServer::Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i++) {
        size_t j = i % (256 * 251);
        bytes[i] = (char)((j * 7 + j / 256) & 0xFF);
    }
    return bytes;
}

namespace {
::testing::Environment* const server = ::testing::AddGlobalTestEnvironment(new HttpTestServer);
}
