#include "framework/WininetSession.h"

#include "base/ErrorText.h"

namespace {

ErrorText* errorText = nullptr;

template <typename T> bool Resolve(const Library& library, T& slot, const char* name) {
    slot = library.Get<T>(name);
    return slot != nullptr;
}

} // namespace

void WininetSession::SetErrorText(ErrorText* target) {
    errorText = target;
}

void WininetSession::StoreLastError() {
    DWORD code = GetLastError();
    if (errorText)
        errorText->FromError(code);
    // The caller may still look at the code (a resend that needs a client certificate).
    SetLastError(code);
}

int WininetSession::Load() {
    if (useCount > 0) {
        useCount++;
        return 1;
    }
    if (!wininet.Load(L"wininet.dll"))
        return 0;
#define WININET_ENTRY(name) Resolve(wininet, api.name, #name)
    bool complete =
        WININET_ENTRY(HttpSendRequestW) && WININET_ENTRY(HttpSendRequestExW) && WININET_ENTRY(HttpAddRequestHeadersW) &&
        WININET_ENTRY(HttpEndRequestW) && WININET_ENTRY(InternetQueryOptionW) && WININET_ENTRY(InternetOpenW) &&
        WININET_ENTRY(HttpOpenRequestW) && WININET_ENTRY(InternetSetOptionW) && WININET_ENTRY(InternetErrorDlg) &&
        WININET_ENTRY(HttpQueryInfoW) && WININET_ENTRY(InternetConnectW) && WININET_ENTRY(InternetWriteFile) &&
        WININET_ENTRY(InternetReadFile) && WININET_ENTRY(InternetCloseHandle) &&
        WININET_ENTRY(InternetQueryDataAvailable);
#undef WININET_ENTRY
    if (!complete) {
        api = Api();
        wininet.Free();
        return 0;
    }
    useCount = 1;
    return 1;
}

void WininetSession::Release() {
    if (useCount == 0 || --useCount > 0)
        return;
    api = Api();
    wininet.Free();
}

int WininetSession::Open(Handles& handles, const wchar_t* userAgent, const wchar_t* proxy, DWORD requestTimeout) {
    bool named = proxy && *proxy;
    handles.internet = api.InternetOpenW(userAgent, named ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                                         named ? proxy : nullptr, nullptr, 0);
    if (!handles.internet)
        return 0;
    if (requestTimeout == (DWORD)-1 && connectTimeout)
        requestTimeout = connectTimeout;
    if (requestTimeout != (DWORD)-1)
        api.InternetSetOptionW(handles.internet, INTERNET_OPTION_CONNECT_TIMEOUT, &requestTimeout,
                               sizeof(requestTimeout));
    // Set on the session so that the connection and request handles made from it inherit them.
    if (sendTimeout)
        api.InternetSetOptionW(handles.internet, INTERNET_OPTION_SEND_TIMEOUT, &sendTimeout, sizeof(sendTimeout));
    if (receiveTimeout) {
        api.InternetSetOptionW(handles.internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout,
                               sizeof(receiveTimeout));
        api.InternetSetOptionW(handles.internet, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receiveTimeout,
                               sizeof(receiveTimeout));
    }
    return 1;
}

// The client's time-outs on a connection or request handle as well as on the session: Wine's wininet
// takes the send and receive time-outs of a request from its connection handle, not from the session.
void WininetSession::SetHandleTimeouts(HINTERNET handle) {
    if (connectTimeout)
        api.InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof(connectTimeout));
    if (sendTimeout)
        api.InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &sendTimeout, sizeof(sendTimeout));
    if (receiveTimeout)
        api.InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout, sizeof(receiveTimeout));
}

// Every one of them, the receive of the body's data included, on the request itself: Wine's requests
// take none from the session, and would wait for a silent server for as long as it likes.
void WininetSession::SetRequestTimeouts(HINTERNET request) {
    const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT};
    const DWORD values[] = {connectTimeout, sendTimeout, receiveTimeout, receiveTimeout};
    for (int i = 0; i < 4; i++)
        if (values[i])
            api.InternetSetOptionW(request, options[i], const_cast<DWORD*>(&values[i]), sizeof(DWORD));
}

DWORD WininetSession::QueryNumber(HINTERNET request, DWORD info, int* known) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    *known = api.HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
    return *known ? value : 0;
}
