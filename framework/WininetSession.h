#pragma once
// wininet.dll, loaded at run time for as long as a request runs, and what every request through it
// shares: the entry points, the session handle opened with the caller's proxy and this client's
// time-outs, numbers read from an answer's headers, and where the system's text of a failed call goes.

#include "base/Library.h"

#include <windows.h>
#include <wininet.h>

class ErrorText;

class WininetSession {
public:
    // wininet.dll's entry points, typed from the system's own declarations so that each pointer carries
    // the system's calling convention (stdcall on 32-bit Windows).
    struct Api {
        decltype(::HttpSendRequestW)* HttpSendRequestW;
        decltype(::HttpSendRequestExW)* HttpSendRequestExW;
        decltype(::HttpAddRequestHeadersW)* HttpAddRequestHeadersW;
        decltype(::HttpEndRequestW)* HttpEndRequestW;
        decltype(::InternetQueryOptionW)* InternetQueryOptionW;
        decltype(::InternetOpenW)* InternetOpenW;
        decltype(::HttpOpenRequestW)* HttpOpenRequestW;
        decltype(::InternetSetOptionW)* InternetSetOptionW;
        decltype(::InternetErrorDlg)* InternetErrorDlg;
        decltype(::HttpQueryInfoW)* HttpQueryInfoW;
        decltype(::InternetConnectW)* InternetConnectW;
        decltype(::InternetWriteFile)* InternetWriteFile;
        decltype(::InternetReadFile)* InternetReadFile;
        decltype(::InternetCloseHandle)* InternetCloseHandle;
        decltype(::InternetQueryDataAvailable)* InternetQueryDataAvailable;
    };

    // The Internet, connection and request handles of one request, closed innermost first.
    struct Handles {
        explicit Handles(const Api& entries) : api(entries) {}
        ~Handles() {
            Close(request);
            Close(connection);
            Close(internet);
        }
        Handles(const Handles&) = delete;
        Handles& operator=(const Handles&) = delete;
        void Close(HINTERNET& handle) {
            if (handle)
                api.InternetCloseHandle(handle);
            handle = nullptr;
        }

        const Api& api;
        HINTERNET internet = nullptr;
        HINTERNET connection = nullptr;
        HINTERNET request = nullptr;
    };

    // The library held for the duration of one request; requests may nest (a callback may start another).
    class Use {
    public:
        explicit Use(WininetSession& owner) : session(owner), loaded(owner.Load()) {}
        ~Use() {
            if (loaded)
                session.Release();
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        explicit operator bool() const { return loaded != 0; }

    private:
        WininetSession& session;
        int loaded;
    };

    WininetSession() = default;
    WininetSession(const WininetSession&) = delete;
    WininetSession& operator=(const WininetSession&) = delete;

    // The entry points; all null outside a Use.
    const Api& Entries() const { return api; }

    // Time-outs in milliseconds for the connect, each send and each receive of later requests; 0 keeps
    // the system's default.
    void SetTimeouts(DWORD connect, DWORD send, DWORD receive) {
        connectTimeout = connect;
        sendTimeout = send;
        receiveTimeout = receive;
    }
    // The session handle, through the named proxy (empty: the system's settings). requestTimeout is the
    // connect time-out of this request alone; -1: this client's, else the system's.
    int Open(Handles& handles, const wchar_t* userAgent, const wchar_t* proxy, DWORD requestTimeout);
    // The connect, send and receive time-outs on a connection or request handle.
    void SetHandleTimeouts(HINTERNET handle);
    // Those and the receive time-out of the body's data, on a request handle.
    void SetRequestTimeouts(HINTERNET request);
    DWORD QueryNumber(HINTERNET request, DWORD info, int* known);

    // Where requests leave the system's text for a failed open or send; null: nowhere. The crash reporter
    // owns the buffer (its report names the last network error) and registers it at start-up; this
    // layer cannot reach the crash reporter itself.
    static void SetErrorText(ErrorText* target);
    // Leaves the text of GetLastError there; the code stays the last error.
    static void StoreLastError();

private:
    int Load();
    void Release();

    Library wininet;
    int useCount = 0;
    Api api = {};
    DWORD connectTimeout = 0;
    DWORD sendTimeout = 0;
    DWORD receiveTimeout = 0;
};
