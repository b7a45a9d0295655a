#pragma once
// The HTTP servers of the update tests, started on the host through Wine before the first test and
// stopped after the last one: the test server (http_test_server.py) with its fixed answers, and the
// program's own update server (server/update_server.py) publishing from a releases folder and taking
// problem reports into a reports folder.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

class HttpTestServer : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    // The server's port on 127.0.0.1, 0 when it did not start.
    static int Port();
    // "http://127.0.0.1:PORT" followed by the path.
    static std::wstring Url(const wchar_t* path);
    // A loopback port on which nothing listens.
    static int UnusedPort();
    // The bytes of a large test body, as the server makes them.
    static std::string Pattern(size_t size);

    // The update server's port, "http://127.0.0.1:PORT" followed by the path, the releases folder it
    // publishes from (with a trailing backslash; read at every request) and its request log.
    static int UpdatePort();
    static std::wstring UpdateUrl(const wchar_t* path);
    static std::wstring ReleasesFolder();
    static std::wstring UpdateLog();
    // The folder the update server stores problem reports in, one sub-folder each (trailing backslash).
    static std::wstring ReportsFolder();
    // The build under test (its pointer size tells), as the update request names it.
    static constexpr const char* Architecture = sizeof(void*) == 8 ? "x64" : "x86";
    // Publishes one release (its release.json and files) on the update server, replacing whatever it
    // published before.
    static void Publish(const char* version, const std::string& manifest,
                        const std::vector<std::pair<std::wstring, std::string>>& files = {},
                        const char* architecture = Architecture);
    // Where Publish and Sign put a build's part of a release (x64: its folder "x64"; no trailing backslash).
    static std::wstring PartFolder(const char* version, const char* architecture = Architecture);
    // Signs the published release as the publisher does (server/sign_release.py release, with one of the
    // tests' keys, or two as "first.pem,second.pem", and the server's address), valid for `days`
    // (negative: expired already), for `product`. 1 once its signed answer is there.
    static int Sign(const char* version, const char* key = "TEST-ONLY-publisher.pem", double days = 90,
                    const char* product = "veltrix", const char* architecture = Architecture);
    // Replaces the signed answer of a published release with these bytes.
    static void ReplaceAnswer(const char* version, const std::string& bytes);
    // Takes every release down: the server then answers that there is none.
    static void Unpublish();
};
