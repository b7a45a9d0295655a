#include "framework/HttpClient.h"

#include "base/FileObject.h"
#include "base/WString.h"
#include "framework/AnswerSink.h"
#include "framework/RateLimiter.h"
#include "framework/Url.h"

#include <memory>
#include <new>
#include <wchar.h>

namespace {

const DWORD DownloadBlock = 1024;
const DWORD DownloadOpenFailed = 999;

// Fetches and downloads run in the background: no authentication of any kind, neither wininet's own
// (it would hand the user's logon to a proxy that asks) nor a dialog, so 401 and 407 are plain failures.
const DWORD FetchFlagsBase = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                             INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE |
                             INTERNET_FLAG_NO_AUTH;
// No "ignore redirect to HTTP/HTTPS": those flags let wininet follow a redirect from https to http
// without a word. Downloads follow redirects themselves, and only within the same origin (OpenUrl).
const DWORD DownloadFlags = FetchFlagsBase;
const int MaxRedirects = 5;
static_assert(FetchFlagsBase == 0x840C0B00 && DownloadFlags == 0x840C0B00,
              "request flags as the servers have always seen them, and no authentication for fetches");

} // namespace

int HttpClient::OpenGuarded(WininetSession::Handles& handles, const wchar_t* userAgent, const wchar_t* proxy,
                            DWORD requestTimeout) {
    if (!session.Open(handles, userAgent, proxy, requestTimeout))
        return 0;
    // From here on a cancel closes the session handle, which ends whatever blocks on it.
    HINTERNET internet = handles.internet;
    handles.internet = nullptr;
    return guard.Adopt(handles.internet, internet);
}

int HttpClient::OpenUrl(WininetSession::Handles& handles, const wchar_t* url, const wchar_t* headers,
                        DWORD headersLength, DWORD flags, DWORD* status) {
    WString current(url);
    for (int hop = 0; hop <= MaxRedirects; hop++) {
        // Connection and request are made one by one rather than with InternetOpenUrlW, so that the
        // time-outs can be set on the request before it is sent: Wine's requests take none from the
        // session, and would wait for a silent server for as long as it likes.
        Url address;
        if (!address.Parse(current)) {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            WininetSession::StoreLastError();
            return 0;
        }
        DWORD requestFlags = flags | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (address.IsSecure())
            requestFlags |= INTERNET_FLAG_SECURE;
        else
            requestFlags &= ~INTERNET_FLAG_SECURE;
        guard.Close(handles.request);
        guard.Close(handles.connection);
        static const wchar_t* anyType[] = {L"*/*", nullptr};
        HINTERNET internet = handles.internet;
        if (!internet ||
            !guard.Adopt(handles.connection, api.InternetConnectW(internet, address.Host(), address.Port(), nullptr,
                                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0)) ||
            !handles.connection ||
            !guard.Adopt(handles.request, api.HttpOpenRequestW(handles.connection, L"GET", address.PathAndQuery(),
                                                               nullptr, nullptr, anyType, requestFlags, 0)) ||
            !handles.request) {
            WininetSession::StoreLastError();
            return 0;
        }
        session.SetRequestTimeouts(handles.request);
        int known = 0;
        if (!api.HttpSendRequestW(handles.request, headers, headers ? headersLength : 0, nullptr, 0)) {
            WininetSession::StoreLastError();
            return 0;
        }
        DWORD code = session.QueryNumber(handles.request, HTTP_QUERY_STATUS_CODE, &known);
        if (code != HTTP_STATUS_MOVED && code != HTTP_STATUS_REDIRECT && code != HTTP_STATUS_REDIRECT_METHOD &&
            code != HTTP_STATUS_REDIRECT_KEEP_VERB && code != 308) {
            *status = code;
            return 1;
        }
        wchar_t location[1024];
        DWORD size = sizeof(location) - sizeof(wchar_t);
        WString target;
        if (!api.HttpQueryInfoW(handles.request, HTTP_QUERY_LOCATION, location, &size, nullptr))
            return 0;
        location[size / sizeof(wchar_t)] = 0;
        if (!SameOriginRedirect(current, location, target))
            return 0;
        current = target;
    }
    return 0;
}

// Waits for the next bytes to arrive, then reads what is there, at most `want` (0 bytes: the body's end).
// Asked for a whole block, wininet's InternetReadFile waits until the block is full; Wine's also goes on
// waiting when another thread closes the handle, so a server that drips a byte now and then would hold it
// for hours. InternetQueryDataAvailable waits for one receive only, after which a cancel or the deadline
// is seen; every call is bounded by the receive time-out.
int HttpClient::ReadSome(HINTERNET request, void* buffer, DWORD want, DWORD* got) {
    *got = 0;
    DWORD available = 0;
    if (guard.Ended() || !request || !api.InternetQueryDataAvailable(request, &available, 0, 0) || guard.Ended())
        return 0;
    if (available == 0)
        return 1;
    return api.InternetReadFile(request, buffer, available < want ? available : want, got) != FALSE && !guard.Ended();
}

int HttpClient::SameOriginRedirect(const wchar_t* url, const wchar_t* location, WString& target) {
    Url from, to;
    if (!from.Parse(url) || !location)
        return 0;
    // A path on the same server. "//name/..." names another server, and some readers take "/\name" so too.
    if (location[0] == L'/' && location[1] != L'/' && location[1] != L'\\')
        return from.Origin(target) && target.Append(location) && to.Parse(target);
    // Absolute: the same scheme, host (in any case) and port. A user name before the host is refused
    // with everything else that is no plain address.
    return to.Parse(location) && to.SameOrigin(from) && target.Assign(location);
}

DWORD HttpClient::FetchFlags(const wchar_t* url, HttpCallback callback, void* context) {
    DWORD flags = FetchFlagsBase;
    Url address;
    if (address.Parse(url) && address.IsSecure())
        flags |= INTERNET_FLAG_SECURE;
    if (callback && callback(HTTP_COOKIES, const_cast<wchar_t*>(url), context) == 1)
        flags &= ~INTERNET_FLAG_NO_COOKIES;
    return flags;
}

int HttpClient::Fetch(const wchar_t* url, const wchar_t* userAgent, WString& output, DWORD byteLimit,
                      const wchar_t* proxy, HttpCallback callback, void* context) {
    output.Assign(L"");
    WininetSession::Use use(session);
    if (!use)
        return 0;
    const DWORD blockSize = AnswerSink::BlockSize;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[blockSize + 1]);
    if (!block)
        return 0;
    WininetSession::Handles handles(api);
    GuardedRequest guarded(guard, api.InternetCloseHandle, deadline);
    if (!guarded || !OpenGuarded(handles, userAgent, proxy, (DWORD)-1))
        return 0;
    DWORD flags = FetchFlags(url, callback, context);
    DWORD status = 0;
    if (!OpenUrl(handles, url, L"Accept: */*\r\n\r\n", (DWORD)-1, flags, &status) ||
        (status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT))
        return 0;
    int lengthKnown = 0;
    DWORD length = session.QueryNumber(handles.request, HTTP_QUERY_CONTENT_LENGTH, &lengthKnown);
    AnswerSink sink(output);
    int result = 0;
    int limitReached = 0;
    unsigned long long received = 0;
    DWORD remaining = byteLimit;
    for (;;) {
        DWORD want = byteLimit && remaining < blockSize ? remaining : blockSize;
        DWORD got = 0;
        // A failed read is a lost connection: what came so far is not the answer.
        if (!ReadSome(handles.request, block.get(), want, &got)) {
            result = 0;
            break;
        }
        result = 1;
        if (got == 0)
            break;
        if (!sink.Store(block.get(), got)) {
            result = 0;
            break;
        }
        received += got;
        if (byteLimit && (remaining -= got) == 0) {
            limitReached = 1;
            break;
        }
    }
    // wininet ends the body quietly when the server hangs up early; the announced length tells. A
    // request ended from outside may also look like a quiet end.
    if ((lengthKnown && !limitReached && received < length) || guard.Ended())
        result = 0;
    if (!result)
        output.Assign(L"");
    return result;
}

int HttpClient::Download(const wchar_t* url, const wchar_t* userAgent, const wchar_t* path, DWORD byteLimit,
                         HttpCallback callback, void* context, const wchar_t* headers, DWORD headersLength,
                         DWORD* status, DWORD connectTimeout, DWORD rateLimit, const wchar_t* proxy) {
    if (status)
        *status = HTTP_STATUS_OK;
    WininetSession::Use use(session);
    if (!use)
        return 0;
    WininetSession::Handles handles(api);
    GuardedRequest guarded(guard, api.InternetCloseHandle, deadline);
    if (!guarded || !OpenGuarded(handles, userAgent, proxy, connectTimeout))
        return 0;
    DWORD flags = DownloadFlags;
    if (callback && callback(HTTP_COOKIES, const_cast<wchar_t*>(url), context) == 1)
        flags &= ~INTERNET_FLAG_NO_COOKIES;
    DWORD code = 0;
    if (!OpenUrl(handles, url, headers, headers ? headersLength : 0, flags, &code))
        return 0;
    if (status)
        *status = code;
    if (code != HTTP_STATUS_OK && code != HTTP_STATUS_PARTIAL_CONTENT)
        return 0;
    wchar_t value[256] = L"Content-Disposition";
    DWORD size = sizeof(value);
    if (api.HttpQueryInfoW(handles.request, HTTP_QUERY_CUSTOM, value, &size, nullptr)) {
        HttpFileInfo info = {path, value};
        if (!AskHook(callback, HTTP_DOWNLOAD_DISPOSITION, &info, context))
            return 0;
    }
    size = sizeof(value);
    if (api.HttpQueryInfoW(handles.request, HTTP_QUERY_CONTENT_TYPE, value, &size, nullptr)) {
        HttpFileInfo info = {path, value};
        if (!AskHook(callback, HTTP_DOWNLOAD_TYPE, &info, context))
            return 0;
    }
    return ReceiveFile(handles.request, path, byteLimit, callback, context, rateLimit, code, status);
}

int HttpClient::ReceiveFile(HINTERNET request, const wchar_t* path, DWORD byteLimit, HttpCallback callback,
                            void* context, DWORD rateLimit, DWORD code, DWORD* status) {
    int resume = 0;
    if (callback)
        callback(HTTP_DOWNLOAD_RESUME, &resume, context);
    FileObject file;
    if (!file.Open(path, resume == 1 ? FileObject::WRITE_ALWAYS : FileObject::WRITE_CREATE,
                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        if (status)
            *status = DownloadOpenFailed;
        return 0;
    }
    int lengthKnown = 0;
    DWORD length = session.QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, &lengthKnown);
    int presized = 0;
    // Claimed at most up to the byte limit: the length is the server's word, and a download may never
    // take more of the disk than the caller allows.
    DWORD claimed = byteLimit && length > byteLimit ? byteLimit : length;
    if (lengthKnown) {
        if (resume == 1) {
            file.Seek(FILE_END, 0, 0);
        } else if (claimed <= 0x7FFFFFFF) {
            // Claims the whole size at once: the file system allocates it in one piece, and a full disk
            // shows before the transfer rather than at its end.
            presized = file.Seek(FILE_BEGIN, (LONG)claimed, 0) && file.Truncate();
            file.Seek(FILE_BEGIN, 0, 0);
        }
    }
    int result = 0;
    unsigned long long written = 0;
    int go = AskHook(callback, HTTP_DOWNLOAD_LENGTH, &length, context);
    if (go) {
        wchar_t finalUrl[512] = L"";
        DWORD size = sizeof(finalUrl);
        if (!api.InternetQueryOptionW(request, INTERNET_OPTION_URL, finalUrl, &size))
            finalUrl[0] = 0;
        go = AskHook(callback, HTTP_DOWNLOAD_FINAL_URL, finalUrl, context);
    }
    if (go) {
        RateLimiter limiter(rateLimit);
        unsigned char block[DownloadBlock];
        DWORD remaining = byteLimit;
        int limitReached = 0;
        for (;;) {
            DWORD want = byteLimit && remaining < DownloadBlock ? remaining : DownloadBlock;
            DWORD got = 0;
            if (!ReadSome(request, block, want, &got)) {
                result = 0;
                break;
            }
            if (got == 0)
                break;
            if (!file.Write(got, nullptr, block)) {
                result = 0;
                break;
            }
            result = 1;
            written += got;
            limiter.After(got);
            if (!AskHook(callback, HTTP_DOWNLOAD_WRITTEN, &written, context)) {
                result = 0;
                break;
            }
            if (byteLimit && (remaining -= got) == 0) {
                limitReached = 1;
                break;
            }
        }
        if (!AskHook(callback, HTTP_DOWNLOAD_DONE, nullptr, context))
            result = 0;
        // wininet ends the body quietly when the server hangs up early: half an update is no update. A
        // request ended from outside may also look like a quiet end.
        if ((lengthKnown && !limitReached && written < length) || guard.Ended())
            result = 0;
    }
    // A file claimed at full size but not filled would carry zeros at its end, and a download resumed from
    // it would skip them as if they had arrived.
    if (presized && written < claimed)
        file.Truncate();
    file.Close();
    if (!result) {
        HttpDownloadEnd end = {code, 1, result};
        if (callback)
            callback(HTTP_DOWNLOAD_FAILED, &end, context);
        if (end.deleteFile)
            DeleteFileW(path);
    }
    return result;
}
