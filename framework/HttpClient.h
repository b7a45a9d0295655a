#pragma once
// The program's only network component: blocking HTTP requests over the Windows Internet API
// (wininet.dll, loaded at run time): a GET into a string (Fetch) or into a file (Download), and a
// multipart/form-data POST (AddFormField, AddFormFile, PostForm). Results are 1 or 0.

#include "base/Library.h"
#include "framework/HttpCallback.h"
#include "framework/RequestGuard.h"

#include <windows.h>
#include <wininet.h>

class ErrorText;
class FormPart;
class WString;

// A request for SendRequest: the verb, where it goes, who asks, and what is sent besides a form.
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

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GET into `output`, one character per byte. 1 for status 200 or 206 with the whole body read.
    int Fetch(const wchar_t* url, const wchar_t* userAgent, WString& output, DWORD byteLimit, const wchar_t* proxy,
              HttpCallback callback, void* context);
    // GET into the file at `path`; headersLength -1: `headers` is zero-terminated; connectTimeout -1: the
    // default; rateLimit in KiB/s. A download that fails deletes the file it wrote.
    int Download(const wchar_t* url, const wchar_t* userAgent, const wchar_t* path, DWORD byteLimit,
                 HttpCallback callback, void* context, const wchar_t* headers, DWORD headersLength, DWORD* status,
                 DWORD connectTimeout, DWORD rateLimit, const wchar_t* proxy);

    // The parts of the next PostForm, sent in the order they were added.
    int AddFormField(const wchar_t* name, const wchar_t* value);
    int AddFormFile(const wchar_t* name, const wchar_t* path);
    // 1 when the answer (of any status) was read.
    int PostForm(const wchar_t* server, const wchar_t* objectPath, const wchar_t* userAgent, WString& output,
                 HWND parent, DWORD byteLimit, const wchar_t* user, const wchar_t* password, const wchar_t* proxyUser,
                 const wchar_t* proxyPassword, INTERNET_PORT port, DWORD service, const wchar_t** acceptTypes,
                 HttpCallback callback, void* context, DWORD* status, DWORD downloadRate, DWORD uploadRate,
                 const wchar_t* proxy, DWORD connectTimeout);
    // The same for a request described whole (the verb is POST, its headers and optional data unused).
    int PostForm(const HttpRequest& request, WString& output);
    // The general request: the collected form parts when there are any, else the request's headers and
    // optional data. The parts are gone afterwards.
    int SendRequest(const HttpRequest& request, WString& output);

    // Ends the Fetch or Download another thread is blocked in, by closing its handles, and fails every
    // later one until ResetCancel. Any thread.
    void Cancel() { guard.CancelAll(); }
    void ResetCancel() { guard.Reset(); }
    // How long each later Fetch or Download may take in all, in milliseconds (0: no limit); past it the
    // request is ended as by Cancel. A server that sends a byte now and then never lets a receive
    // time-out expire: only this bounds it.
    void SetDeadline(DWORD milliseconds) { deadline = milliseconds; }
    // The absolute address a redirect from `url` to `location` leads to, when it stays on the same scheme,
    // host and port; 0 for every other redirect, which Fetch and Download do not follow.
    static int SameOriginRedirect(const wchar_t* url, const wchar_t* location, WString& target);

    // The flags Fetch opens a URL with: secure for "https://" in any case, cookies when the callback
    // answers exactly 1 to HTTP_COOKIES.
    static DWORD FetchFlags(const wchar_t* url, HttpCallback callback, void* context);

    // Where requests leave the system's text for a failed open or send; null: nowhere. The crash reporter
    // owns the buffer (its report names the last network error) and registers it at start-up; this
    // layer cannot reach the crash reporter itself.
    static void SetErrorText(ErrorText* target);

    // Time-outs in milliseconds for the connect, each send and each receive of this client's later
    // requests; 0 keeps the system's default. Fetch and Download otherwise wait as long as wininet does.
    void SetTimeouts(DWORD connect, DWORD send, DWORD receive) {
        connectTimeout = connect;
        sendTimeout = send;
        receiveTimeout = receive;
    }

private:
    // wininet.dll's entry points, typed from the system's own declarations so that each pointer carries
    // the system's calling convention (stdcall on 32-bit Windows).
    struct Api {
        decltype(::HttpSendRequestW)* HttpSendRequestW;
        decltype(::HttpSendRequestExW)* HttpSendRequestExW;
        decltype(::HttpAddRequestHeadersW)* HttpAddRequestHeadersW;
        decltype(::HttpEndRequestW)* HttpEndRequestW;
        decltype(::InternetGetCookieW)* InternetGetCookieW;
        decltype(::InternetSetCookieW)* InternetSetCookieW;
        decltype(::InternetQueryOptionW)* InternetQueryOptionW;
        decltype(::InternetOpenW)* InternetOpenW;
        decltype(::HttpOpenRequestW)* HttpOpenRequestW;
        decltype(::FtpOpenFileW)* FtpOpenFileW;
        decltype(::InternetSetOptionW)* InternetSetOptionW;
        decltype(::InternetErrorDlg)* InternetErrorDlg;
        decltype(::HttpQueryInfoW)* HttpQueryInfoW;
        decltype(::InternetConnectW)* InternetConnectW;
        decltype(::InternetWriteFile)* InternetWriteFile;
        decltype(::InternetReadFile)* InternetReadFile;
        decltype(::InternetCloseHandle)* InternetCloseHandle;
        decltype(::InternetOpenUrlW)* InternetOpenUrlW;
        decltype(::InternetCrackUrlW)* InternetCrackUrlW;
        decltype(::InternetQueryDataAvailable)* InternetQueryDataAvailable;
    };
    struct Handles;
    class LibraryUse;

    int Load();
    void Release();
    void FreeParts();
    int AppendPart(FormPart* part);
    int AppendText(const wchar_t* text);
    int Open(Handles& handles, const wchar_t* userAgent, const wchar_t* proxy, DWORD requestTimeout);
    int OpenGuarded(Handles& handles, const wchar_t* userAgent, const wchar_t* proxy, DWORD requestTimeout);
    int OpenUrl(Handles& handles, const wchar_t* url, const wchar_t* headers, DWORD headersLength, DWORD flags,
                DWORD* status);
    DWORD QueryNumber(HINTERNET request, DWORD info, int* known);
    DWORD AskCredentials(HWND parent, HINTERNET request);
    int SendBody(HINTERNET request, const HttpRequest& r);
    int Resend(HINTERNET request, const HttpRequest& r);
    int ReadSome(HINTERNET request, void* buffer, DWORD want, DWORD* got);
    int ReceiveFile(HINTERNET request, const wchar_t* path, DWORD byteLimit, HttpCallback callback, void* context,
                    DWORD rateLimit, DWORD code, DWORD* status);
    int ReadAnswer(HINTERNET request, const HttpRequest& r, WString& output);
    void SetHandleTimeouts(HINTERNET handle);
    static void StoreLastError();

    Library wininet;
    int useCount = 0;
    Api api = {};
    DWORD connectTimeout = 0;
    DWORD sendTimeout = 0;
    DWORD receiveTimeout = 0;
    FormPart* firstPart = nullptr;
    FormPart* lastPart = nullptr;
    RequestGuard guard;
    DWORD deadline = 0;
};
