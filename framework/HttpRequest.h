#pragma once
// A request for HttpPost: the verb, where it goes, who asks, how the answer is taken, and what is sent
// besides a form.

#include "framework/HttpCallback.h"

#include <windows.h>
#include <wininet.h>

struct HttpRequest {
    const wchar_t* verb = L"POST";
    const wchar_t* server = nullptr;
    const wchar_t* objectPath = nullptr;
    const wchar_t* userAgent = nullptr;
    HWND parent = nullptr; // owner of the credential dialog; none: the foreground window
    DWORD byteLimit = 0;   // of the answer; 0: no limit
    const wchar_t* user = nullptr;
    const wchar_t* password = nullptr;
    const wchar_t* proxyUser = nullptr;
    const wchar_t* proxyPassword = nullptr;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    DWORD service = INTERNET_SERVICE_HTTP;
    int secure = 0;                        // TLS on any port; port 443 is always secure
    const wchar_t** acceptTypes = nullptr; // none: "*/*" alone
    HttpCallback callback = nullptr;
    void* context = nullptr;
    DWORD* status = nullptr;
    DWORD downloadRate = 0; // KiB/s, 0: no limit
    DWORD uploadRate = 0;
    const wchar_t* proxy = nullptr; // empty: the system's settings
    DWORD connectTimeout = (DWORD)-1;
    const wchar_t* headers = nullptr; // sent with a plain request (no form)
    DWORD headersLength = (DWORD)-1;
    const void* optional = nullptr;
    DWORD optionalLength = 0;
};
