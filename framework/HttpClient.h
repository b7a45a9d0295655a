#pragma once
// Blocking GET requests over the Windows Internet API (wininet.dll, loaded at run time): into a string
// (Fetch) or into a file (Download), following redirects only within the address's own origin, bounded
// in size and time and cancellable from another thread. Results are 1 or 0.

#include "framework/HttpCallback.h"
#include "framework/RequestGuard.h"
#include "framework/WininetSession.h"

#include <windows.h>
#include <wininet.h>

class WString;

class HttpClient {
public:
    HttpClient() : api(session.Entries()) {}
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

    // Time-outs in milliseconds for the connect, each send and each receive of this client's later
    // requests; 0 keeps the system's default. Fetch and Download otherwise wait as long as wininet does.
    void SetTimeouts(DWORD connect, DWORD send, DWORD receive) { session.SetTimeouts(connect, send, receive); }

private:
    int OpenGuarded(WininetSession::Handles& handles, const wchar_t* userAgent, const wchar_t* proxy,
                    DWORD requestTimeout);
    int OpenUrl(WininetSession::Handles& handles, const wchar_t* url, const wchar_t* headers, DWORD headersLength,
                DWORD flags, DWORD* status);
    int ReadSome(HINTERNET request, void* buffer, DWORD want, DWORD* got);
    int ReceiveFile(HINTERNET request, const wchar_t* path, DWORD byteLimit, HttpCallback callback, void* context,
                    DWORD rateLimit, DWORD code, DWORD* status);

    WininetSession session;
    const WininetSession::Api& api;
    RequestGuard guard;
    DWORD deadline = 0;
};
