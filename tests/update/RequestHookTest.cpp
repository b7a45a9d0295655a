#include "update/AutoUpdater.h"

#include "DialogAnswerer.h"
#include "HttpTestServer.h"
#include "base/WString.h"
#include "framework/HttpClient.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t Agent[] = L"VeltrixTest";

std::string Bytes(const WString& text) {
    std::string bytes;
    for (int i = 0; i < text.Length(); i++)
        bytes += (char)*text.At(i);
    return bytes;
}

int AnswerWith(int code, void*, void* context) {
    return code == HTTP_COOKIES ? *static_cast<int*>(context) : 1;
}

} // namespace

TEST(UpdaterRequestHook, FetchesAskForNoCredentialsAndKeepNoCookies) {
    // The test server is the proxy; the host in the URL is only passed on to it.
    std::wstring proxy = L"127.0.0.1:" + std::to_wstring(HttpTestServer::Port());
    HttpClient client;
    WString text;
    {
        // A check runs in the background: the proxy's 407 is a failure, with no dialog and no logon sent.
        DialogAnswerer answerer(L"tester", L"s3cret");
        EXPECT_EQ(0, client.Fetch(L"http://updates.veltrix.test/proxy-auth", Agent, text, 0, proxy.c_str(),
                                  AutoUpdater::RequestHook, nullptr));
        EXPECT_EQ(0, answerer.Answered());
    }
    // A cookie set by one answer comes back with the next only where a caller wants cookies; the
    // updater does not.
    std::wstring server = L"http://127.0.0.1:" + std::to_wstring(HttpTestServer::Port());
    int wantCookies = 1;
    for (HttpCallback hook : {AnswerWith, AutoUpdater::RequestHook}) {
        ASSERT_EQ(1, client.Fetch((server + L"/cookie").c_str(), Agent, text, 0, L"", hook, &wantCookies));
        ASSERT_EQ(1, client.Fetch((server + L"/echo").c_str(), Agent, text, 0, L"", hook, &wantCookies));
        EXPECT_EQ(hook == AnswerWith, Bytes(text).find("Cookie: veltrix=") != std::string::npos);
    }
}
