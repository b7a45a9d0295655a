#pragma once
// The HTTP server of the update tests (http_test_server.py), started on the host through Wine before
// the first test and stopped after the last one.

#include <gtest/gtest.h>

#include <string>

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
};
