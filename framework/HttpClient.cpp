#include "framework/HttpClient.h"

#include "base/ErrorText.h"
#include "base/FileObject.h"
#include "base/ReportHeap.h"
#include "base/Stopwatch.h"
#include "base/WString.h"
#include "framework/FormPart.h"

#include <new>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

ErrorText* errorText = nullptr;

// One more than 64 KiB, as the answers have always been read; the buffer holds one byte more still.
const DWORD AnswerBlock = 65537;
const DWORD DownloadBlock = 1024;
const DWORD UploadPiece = 65536;
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
const DWORD PostFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
const DWORD CredentialDialogFlags =
    FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
const DWORD SendFlags = HSR_CHUNKED | HSR_INITIATE | HSR_SYNC;
static_assert(FetchFlagsBase == 0x840C0B00 && DownloadFlags == 0x840C0B00 && PostFlags == 0x84000300,
              "request flags as the servers have always seen them, and no authentication for fetches");

// The boundary is fixed: servers that take our reports parse exactly this. A delimiter line in the body
// is "--" followed by the boundary of the header, hence two dashes more.
const wchar_t Delimiter[] = L"-------------------------------1234567890123";
const wchar_t FormContentType[] =
    L"Content-Type: multipart/form-data; boundary=-----------------------------1234567890123";
static_assert(sizeof(Delimiter) / sizeof(wchar_t) - 1 == 31 + 13, "31 dashes before the digits");

// Plain free() before a crash; after one, the blocks of the report's own heap (see ReportHeap).
struct FreeOnExit {
    void* block;
    ~FreeOnExit() { ReportHeap::Release(block); }
};

// Keeps a transfer at `kibPerSecond` by sleeping after each block for the time the block should have
// taken, less the time that really passed since the previous block.
class RateLimiter {
public:
    explicit RateLimiter(DWORD kibPerSecond) : rate(kibPerSecond) {
        if (rate) {
            watch.UseHighResolution(1);
            watch.Start();
        }
    }
    void After(DWORD bytes) {
        if (!rate)
            return;
        watch.Stop();
        // Computed in one step: bytes / 1024 alone would be 0 for every block below 1 KiB.
        unsigned long long due = (unsigned long long)bytes * 1000 / (1024ull * rate);
        unsigned long long spent = watch.Milliseconds();
        if (due > spent)
            Sleep((DWORD)(due - spent));
        watch.Start();
    }

private:
    DWORD rate;
    Stopwatch watch;
};

// Each byte becomes the character of the same value (no code page): the caller decodes, and binary
// answers survive. Written straight into the buffer, which grows by half again, so long answers are not
// copied over and over; zero bytes are kept (the string's count includes them).
int AppendBytes(WString& target, const unsigned char* bytes, DWORD count) {
    unsigned used = target.Used() ? target.Used() : 1;
    unsigned need = used + count + 1;
    if (need < used)
        return 0;
    if (target.Capacity() < need) {
        unsigned grown = need + need / 2;
        if (grown < need || !target.Reserve(grown))
            return 0;
    }
    wchar_t* end = target.Buffer() + used - 1;
    for (DWORD i = 0; i < count; i++)
        end[i] = bytes[i];
    return target.SetUsed(used + count);
}

template <typename T> bool Resolve(const Library& library, T& slot, const char* name) {
    slot = library.Get<T>(name);
    return slot != nullptr;
}

int Ask(HttpCallback callback, int code, const void* data, void* context) {
    return callback ? callback(code, const_cast<void*>(data), context) : 1;
}

} // namespace

// The library is held for the duration of one request; requests may nest (a callback may start another).
class HttpClient::LibraryUse {
public:
    explicit LibraryUse(HttpClient& owner) : client(owner), loaded(owner.Load()) {}
    ~LibraryUse() {
        if (loaded)
            client.Release();
    }
    LibraryUse(const LibraryUse&) = delete;
    LibraryUse& operator=(const LibraryUse&) = delete;
    explicit operator bool() const { return loaded != 0; }

private:
    HttpClient& client;
    int loaded;
};

// The Internet, connection and request handles of one request, closed innermost first.
struct HttpClient::Handles {
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

HttpClient::HttpClient() = default;

HttpClient::~HttpClient() {
    FreeParts();
}

void HttpClient::SetErrorText(ErrorText* target) {
    errorText = target;
}

void HttpClient::StoreLastError() {
    DWORD code = GetLastError();
    if (errorText)
        errorText->FromError(code);
    // The caller may still look at the code (a resend that needs a client certificate).
    SetLastError(code);
}

int HttpClient::Load() {
    if (useCount > 0) {
        useCount++;
        return 1;
    }
    if (!wininet.Load(L"wininet.dll"))
        return 0;
#define WININET_ENTRY(name) Resolve(wininet, api.name, #name)
    bool complete =
        WININET_ENTRY(HttpSendRequestW) && WININET_ENTRY(HttpSendRequestExW) && WININET_ENTRY(HttpAddRequestHeadersW) &&
        WININET_ENTRY(HttpEndRequestW) && WININET_ENTRY(InternetGetCookieW) && WININET_ENTRY(InternetSetCookieW) &&
        WININET_ENTRY(InternetQueryOptionW) && WININET_ENTRY(InternetOpenW) && WININET_ENTRY(HttpOpenRequestW) &&
        WININET_ENTRY(FtpOpenFileW) && WININET_ENTRY(InternetSetOptionW) && WININET_ENTRY(InternetErrorDlg) &&
        WININET_ENTRY(HttpQueryInfoW) && WININET_ENTRY(InternetConnectW) && WININET_ENTRY(InternetWriteFile) &&
        WININET_ENTRY(InternetReadFile) && WININET_ENTRY(InternetCloseHandle) && WININET_ENTRY(InternetOpenUrlW) &&
        WININET_ENTRY(InternetCrackUrlW) && WININET_ENTRY(InternetQueryDataAvailable);
#undef WININET_ENTRY
    if (!complete) {
        api = Api();
        wininet.Free();
        return 0;
    }
    useCount = 1;
    return 1;
}

void HttpClient::Release() {
    if (useCount == 0 || --useCount > 0)
        return;
    FreeParts();
    api = Api();
    wininet.Free();
}

int HttpClient::Open(Handles& handles, const wchar_t* userAgent, const wchar_t* proxy, DWORD requestTimeout) {
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

DWORD HttpClient::QueryNumber(HINTERNET request, DWORD info, int* known) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    *known = api.HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
    return *known ? value : 0;
}

DWORD HttpClient::AskCredentials(HWND parent, HINTERNET request) {
    HWND owner = parent ? parent : GetForegroundWindow();
    // No window may be in the foreground (the user switched desktops, or locked the screen); the dialog
    // is refused without an owner, and the request would fail without ever asking.
    if (!owner)
        owner = GetDesktopWindow();
    return api.InternetErrorDlg(owner, request, ERROR_INTERNET_INCORRECT_PASSWORD, CredentialDialogFlags, nullptr);
}

int HttpClient::OpenGuarded(Handles& handles, const wchar_t* userAgent, const wchar_t* proxy, DWORD requestTimeout) {
    if (!Open(handles, userAgent, proxy, requestTimeout))
        return 0;
    // From here on a cancel closes the session handle, which ends whatever blocks on it.
    HINTERNET internet = handles.internet;
    handles.internet = nullptr;
    return guard.Adopt(handles.internet, internet);
}

int HttpClient::OpenUrl(Handles& handles, const wchar_t* url, const wchar_t* headers, DWORD headersLength, DWORD flags,
                        DWORD* status) {
    WString current(url);
    for (int hop = 0; hop <= MaxRedirects; hop++) {
        // Connection and request are made one by one rather than with InternetOpenUrlW, so that the
        // time-outs can be set on the request before it is sent: Wine's requests take none from the
        // session, and would wait for a silent server for as long as it likes.
        wchar_t host[256], path[2048], extra[2048];
        URL_COMPONENTSW parts = {};
        parts.dwStructSize = sizeof(parts);
        parts.lpszHostName = host;
        parts.dwHostNameLength = 256;
        parts.lpszUrlPath = path;
        parts.dwUrlPathLength = 2048;
        parts.lpszExtraInfo = extra;
        parts.dwExtraInfoLength = 2048;
        if (!api.InternetCrackUrlW(current, 0, 0, &parts) ||
            (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
            StoreLastError();
            return 0;
        }
        WString object(path[0] ? path : L"/");
        object.Append(extra);
        DWORD requestFlags = flags | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (parts.nScheme == INTERNET_SCHEME_HTTPS)
            requestFlags |= INTERNET_FLAG_SECURE;
        else
            requestFlags &= ~INTERNET_FLAG_SECURE;
        guard.Close(handles.request);
        guard.Close(handles.connection);
        static const wchar_t* anyType[] = {L"*/*", nullptr};
        HINTERNET internet = handles.internet;
        if (!internet ||
            !guard.Adopt(handles.connection, api.InternetConnectW(internet, host, parts.nPort, nullptr, nullptr,
                                                                  INTERNET_SERVICE_HTTP, 0, 0)) ||
            !handles.connection ||
            !guard.Adopt(handles.request, api.HttpOpenRequestW(handles.connection, L"GET", object, nullptr, nullptr,
                                                               anyType, requestFlags, 0)) ||
            !handles.request) {
            StoreLastError();
            return 0;
        }
        const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                                 INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT};
        const DWORD values[] = {connectTimeout, sendTimeout, receiveTimeout, receiveTimeout};
        for (int i = 0; i < 4; i++)
            if (values[i])
                api.InternetSetOptionW(handles.request, options[i], const_cast<DWORD*>(&values[i]), sizeof(DWORD));
        int known = 0;
        if (!api.HttpSendRequestW(handles.request, headers, headers ? headersLength : 0, nullptr, 0)) {
            StoreLastError();
            return 0;
        }
        DWORD code = QueryNumber(handles.request, HTTP_QUERY_STATUS_CODE, &known);
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

namespace {

// "scheme://host[:port]" of an absolute http or https address: its length, 0 for anything else.
size_t OriginLength(const wchar_t* url) {
    size_t start = 0;
    if (_wcsnicmp(url, L"http://", 7) == 0)
        start = 7;
    else if (_wcsnicmp(url, L"https://", 8) == 0)
        start = 8;
    else
        return 0;
    size_t end = start;
    while (url[end] && url[end] != L'/' && url[end] != L'?' && url[end] != L'#')
        end++;
    return end > start ? end : 0;
}

} // namespace

int HttpClient::SameOriginRedirect(const wchar_t* url, const wchar_t* location, WString& target) {
    size_t origin = OriginLength(url);
    if (!origin || !location || !location[0])
        return 0;
    // A user name or password in the authority ("http://good@evil/") is refused with everything else
    // that is no plain origin.
    for (size_t i = 0; i < origin; i++)
        if (url[i] == L'@' || url[i] == L'\\')
            return 0;
    if (location[0] == L'/' && location[1] != L'/' && location[1] != L'\\') {
        target.Assign(url, (unsigned)origin);
        target.Append(location);
        return 1;
    }
    // Absolute: the same origin character for character (scheme and host in any case), then a path.
    size_t other = OriginLength(location);
    if (other != origin || _wcsnicmp(url, location, origin) != 0 || (location[origin] && location[origin] != L'/'))
        return 0;
    target.Assign(location);
    return 1;
}

DWORD HttpClient::FetchFlags(const wchar_t* url, HttpCallback callback, void* context) {
    DWORD flags = FetchFlagsBase;
    if (url && _wcsnicmp(url, L"https://", 8) == 0)
        flags |= INTERNET_FLAG_SECURE;
    if (callback && callback(HTTP_COOKIES, const_cast<wchar_t*>(url), context) == 1)
        flags &= ~INTERNET_FLAG_NO_COOKIES;
    return flags;
}

int HttpClient::Fetch(const wchar_t* url, const wchar_t* userAgent, WString& output, DWORD byteLimit,
                      const wchar_t* proxy, HttpCallback callback, void* context) {
    output.Assign(L"");
    LibraryUse use(*this);
    if (!use)
        return 0;
    unsigned char* block = (unsigned char*)malloc(AnswerBlock + 1);
    FreeOnExit blockOwner = {block};
    if (!block)
        return 0;
    Handles handles(api);
    GuardedRequest guarded(guard, api.InternetCloseHandle, deadline);
    if (!guarded || !OpenGuarded(handles, userAgent, proxy, (DWORD)-1))
        return 0;
    DWORD flags = FetchFlags(url, callback, context);
    DWORD status = 0;
    if (!OpenUrl(handles, url, L"Accept: */*\r\n\r\n", (DWORD)-1, flags, &status) ||
        (status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT))
        return 0;
    int lengthKnown = 0;
    DWORD length = QueryNumber(handles.request, HTTP_QUERY_CONTENT_LENGTH, &lengthKnown);
    int result = 0;
    int limitReached = 0;
    unsigned long long received = 0;
    DWORD remaining = byteLimit;
    for (;;) {
        DWORD want = byteLimit && remaining < AnswerBlock ? remaining : AnswerBlock;
        DWORD got = 0;
        // A failed read is a lost connection: what came so far is not the answer.
        if (!ReadSome(handles.request, block, want, &got)) {
            result = 0;
            break;
        }
        result = 1;
        if (got == 0)
            break;
        if (!AppendBytes(output, block, got)) {
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
    LibraryUse use(*this);
    if (!use)
        return 0;
    Handles handles(api);
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
        if (!Ask(callback, HTTP_DOWNLOAD_DISPOSITION, &info, context))
            return 0;
    }
    size = sizeof(value);
    if (api.HttpQueryInfoW(handles.request, HTTP_QUERY_CONTENT_TYPE, value, &size, nullptr)) {
        HttpFileInfo info = {path, value};
        if (!Ask(callback, HTTP_DOWNLOAD_TYPE, &info, context))
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
    DWORD length = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, &lengthKnown);
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
    int go = Ask(callback, HTTP_DOWNLOAD_LENGTH, &length, context);
    if (go) {
        wchar_t finalUrl[512] = L"";
        DWORD size = sizeof(finalUrl);
        if (!api.InternetQueryOptionW(request, INTERNET_OPTION_URL, finalUrl, &size))
            finalUrl[0] = 0;
        go = Ask(callback, HTTP_DOWNLOAD_FINAL_URL, finalUrl, context);
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
            if (!Ask(callback, HTTP_DOWNLOAD_WRITTEN, &written, context)) {
                result = 0;
                break;
            }
            if (byteLimit && (remaining -= got) == 0) {
                limitReached = 1;
                break;
            }
        }
        if (!Ask(callback, HTTP_DOWNLOAD_DONE, nullptr, context))
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

void HttpClient::FreeParts() {
    while (firstPart) {
        FormPart* next = firstPart->next;
        delete firstPart;
        firstPart = next;
    }
    lastPart = nullptr;
}

int HttpClient::AppendPart(FormPart* part) {
    if (lastPart) {
        lastPart->next = part;
        lastPart->buffers.Next = &part->buffers;
    } else {
        firstPart = part;
    }
    lastPart = part;
    return 1;
}

int HttpClient::AppendText(const wchar_t* text) {
    FormPart* part = new (std::nothrow) FormPart;
    if (!part || !part->SetText(text)) {
        delete part;
        return 0;
    }
    return AppendPart(part);
}

int HttpClient::AddFormField(const wchar_t* name, const wchar_t* value) {
    WString text;
    // The value goes as UTF-8 (FormPart), and the part says so: a server cannot guess a code page.
    if (!text.Format(L"%s\r\nContent-Disposition: form-data; name=\"%s\"\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                     L"\r\n%s\r\n",
                     Delimiter, name, value))
        return 0;
    return AppendText(text);
}

int HttpClient::AddFormFile(const wchar_t* name, const wchar_t* path) {
    WString header;
    if (!header.Format(L"%s\r\nContent-Disposition: form-data; name=\"%s\"; filename=\"%s\"\r\n"
                       L"Content-Type: application/octet-stream\r\n\r\n",
                       Delimiter, name, FileNamePart(path)))
        return 0;
    FormPart* head = new (std::nothrow) FormPart;
    FormPart* file = new (std::nothrow) FormPart;
    FormPart* tail = new (std::nothrow) FormPart;
    if (!head || !file || !tail || !head->SetText(header) || !file->SetFile(path) || !tail->SetText(L"\r\n")) {
        delete head;
        delete file;
        delete tail;
        return 0;
    }
    AppendPart(head);
    AppendPart(file);
    return AppendPart(tail);
}

int HttpClient::PostForm(const wchar_t* server, const wchar_t* objectPath, const wchar_t* userAgent, WString& output,
                         HWND parent, DWORD byteLimit, const wchar_t* user, const wchar_t* password,
                         const wchar_t* proxyUser, const wchar_t* proxyPassword, INTERNET_PORT port, DWORD service,
                         const wchar_t** acceptTypes, HttpCallback callback, void* context, DWORD* status,
                         DWORD downloadRate, DWORD uploadRate, const wchar_t* proxy, DWORD connectTimeout) {
    HttpRequest request;
    request.server = server;
    request.objectPath = objectPath;
    request.userAgent = userAgent;
    request.parent = parent;
    request.byteLimit = byteLimit;
    request.user = user;
    request.password = password;
    request.proxyUser = proxyUser;
    request.proxyPassword = proxyPassword;
    request.port = port;
    request.service = service;
    request.acceptTypes = acceptTypes;
    request.callback = callback;
    request.context = context;
    request.status = status;
    request.downloadRate = downloadRate;
    request.uploadRate = uploadRate;
    request.proxy = proxy;
    request.connectTimeout = connectTimeout;
    return PostForm(request, output);
}

int HttpClient::PostForm(const HttpRequest& form, WString& output) {
    WString closing;
    if (!closing.Format(L"%s--\r\n", Delimiter) || !AppendText(closing)) {
        FreeParts();
        return 0;
    }
    DWORD total = 0;
    for (FormPart* part = firstPart; part; part = part->next)
        total += part->Length();
    for (FormPart* part = firstPart; part; part = part->next)
        part->buffers.dwBufferTotal = total;
    firstPart->buffers.lpcszHeader = FormContentType;
    firstPart->buffers.dwHeadersLength = firstPart->buffers.dwHeadersTotal = (DWORD)wcslen(FormContentType);
    HttpRequest request = form;
    request.verb = L"POST";
    request.headers = nullptr;
    request.optional = nullptr;
    request.optionalLength = 0;
    return SendRequest(request, output);
}

int HttpClient::SendBody(HINTERNET request, const HttpRequest& r) {
    if (!firstPart) {
        DWORD headersLength = r.headers && r.headersLength == (DWORD)-1 ? (DWORD)lstrlenW(r.headers) : r.headersLength;
        if (!api.HttpSendRequestW(request, r.headers, r.headers ? headersLength : 0, const_cast<void*>(r.optional),
                                  r.optionalLength)) {
            StoreLastError();
            return 0;
        }
        return 1;
    }
    // The first part goes out with the request's head: HttpSendRequestExW sends the data of the record
    // it is given (but follows no Next link); the rest is written after it.
    if (!api.HttpSendRequestExW(request, &firstPart->buffers, nullptr, SendFlags, (DWORD_PTR)this))
        return 0;
    unsigned long long sent = firstPart->Length();
    if (!Ask(r.callback, HTTP_POST_SENT, &sent, r.context))
        return 0;
    RateLimiter limiter(r.uploadRate);
    for (FormPart* part = firstPart->next; part; part = part->next) {
        const unsigned char* data = (const unsigned char*)part->Data();
        DWORD length = part->Length();
        if (!r.callback && !r.uploadRate) {
            DWORD written = 0;
            if (length && (!api.InternetWriteFile(request, data, length, &written) || written != length))
                return 0;
            continue;
        }
        for (DWORD offset = 0; offset < length;) {
            DWORD piece = length - offset < UploadPiece ? length - offset : UploadPiece;
            DWORD written = 0;
            if (!api.InternetWriteFile(request, data + offset, piece, &written) || written != piece)
                return 0;
            offset += piece;
            sent += piece;
            limiter.After(piece);
            if (!Ask(r.callback, HTTP_POST_SENT, &sent, r.context))
                return 0;
        }
    }
    return api.HttpEndRequestW(request, nullptr, HSR_INITIATE, 0) != FALSE;
}

// The send after the credential dialog. HttpSendRequestW is what applies the credentials (wininet answers
// the proxy's challenge inside it), but it knows no part chain: a form goes along as one block, whole,
// since the first attempt has used up its parts' data on the wire.
int HttpClient::Resend(HINTERNET request, const HttpRequest& r) {
    if (!firstPart)
        return SendBody(request, r);
    DWORD total = firstPart->buffers.dwBufferTotal;
    unsigned char* body = (unsigned char*)ReportHeap::Allocate(total ? total : 1);
    FreeOnExit bodyOwner = {body};
    if (!body)
        return 0;
    DWORD offset = 0;
    for (FormPart* part = firstPart; part; part = part->next) {
        memcpy(body + offset, part->Data(), part->Length());
        offset += part->Length();
    }
    if (!api.HttpSendRequestW(request, FormContentType, (DWORD)wcslen(FormContentType), body, total)) {
        StoreLastError();
        return 0;
    }
    return 1;
}

// The client's time-outs on a connection or request handle as well as on the session: Wine's wininet
// takes the send and receive time-outs of a request from its connection handle, not from the session.
void HttpClient::SetHandleTimeouts(HINTERNET handle) {
    if (connectTimeout)
        api.InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof(connectTimeout));
    if (sendTimeout)
        api.InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &sendTimeout, sizeof(sendTimeout));
    if (receiveTimeout)
        api.InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout, sizeof(receiveTimeout));
}

int HttpClient::SendRequest(const HttpRequest& r, WString& output) {
    struct PartsGone {
        HttpClient& client;
        ~PartsGone() { client.FreeParts(); }
    } partsGone = {*this};
    if (r.status)
        *r.status = HTTP_STATUS_OK;
    LibraryUse use(*this);
    if (!use)
        return 0;
    Handles handles(api);
    if (!Open(handles, r.userAgent, r.proxy, r.connectTimeout))
        return 0;
    handles.connection =
        api.InternetConnectW(handles.internet, r.server, r.port, r.user, r.password, r.service, 0, (DWORD_PTR)this);
    if (!handles.connection)
        return 0;
    SetHandleTimeouts(handles.connection);
    if (r.proxyUser && *r.proxyUser)
        api.InternetSetOptionW(handles.connection, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(r.proxyUser),
                               (DWORD)lstrlenW(r.proxyUser));
    if (r.proxyPassword && *r.proxyPassword)
        api.InternetSetOptionW(handles.connection, INTERNET_OPTION_PROXY_PASSWORD,
                               const_cast<wchar_t*>(r.proxyPassword), (DWORD)lstrlenW(r.proxyPassword));
    int endSession = 0;
    if (r.callback && r.callback(HTTP_POST_END_SESSION, &endSession, r.context) == 1 && endSession == 1)
        api.InternetSetOptionW(handles.connection, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
    DWORD bodyLength = firstPart ? firstPart->buffers.dwBufferTotal : r.optionalLength;
    if (!Ask(r.callback, HTTP_POST_BODY_LENGTH, &bodyLength, r.context))
        return 0;

    DWORD flags = PostFlags;
    int askCredentials = 1;
    if (r.callback) {
        if (!r.callback(HTTP_COOKIES, const_cast<wchar_t*>(r.objectPath), r.context))
            flags |= INTERNET_FLAG_NO_COOKIES;
        if (!r.callback(HTTP_POST_REDIRECTS, const_cast<wchar_t*>(r.objectPath), r.context))
            flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (!r.callback(HTTP_POST_CREDENTIALS, const_cast<wchar_t*>(r.objectPath), r.context)) {
            flags |= INTERNET_FLAG_NO_AUTH;
            askCredentials = 0;
        }
    }
    if (r.secure || r.port == INTERNET_DEFAULT_HTTPS_PORT)
        flags |= INTERNET_FLAG_SECURE;
    static const wchar_t* anyType[] = {L"*/*", nullptr};
    handles.request = api.HttpOpenRequestW(handles.connection, r.verb, r.objectPath, nullptr, nullptr,
                                           r.acceptTypes ? r.acceptTypes : anyType, flags, (DWORD_PTR)this);
    if (!handles.request)
        return 0;
    SetHandleTimeouts(handles.request);
    int keepSecurity = 0;
    if (r.callback)
        r.callback(HTTP_POST_KEEP_SECURITY, &keepSecurity, r.context);
    if (!keepSecurity) {
        DWORD security = SECURITY_FLAG_IGNORE_REVOCATION;
        api.InternetSetOptionW(handles.request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
    }
    HttpHeaderAdder adder = {api.HttpAddRequestHeadersW, handles.request};
    if (!Ask(r.callback, HTTP_POST_ADD_HEADERS, &adder, r.context))
        return 0;
    if (!SendBody(handles.request, r))
        return 0;

    int known = 0;
    DWORD code = QueryNumber(handles.request, HTTP_QUERY_STATUS_CODE, &known);
    if (r.status)
        *r.status = code;
    if (code == HTTP_STATUS_PROXY_AUTH_REQ && askCredentials &&
        AskCredentials(r.parent, handles.request) == ERROR_INTERNET_FORCE_RETRY) {
        int sent = Resend(handles.request, r);
        if (!sent && GetLastError() == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED) {
            DWORD noCertificate = 0;
            api.InternetSetOptionW(handles.request, INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT, &noCertificate,
                                   sizeof(noCertificate));
            sent = Resend(handles.request, r);
        }
        if (!sent)
            return 0;
        code = QueryNumber(handles.request, HTTP_QUERY_STATUS_CODE, &known);
        if (r.status)
            *r.status = code;
    }
    return ReadAnswer(handles.request, r, output);
}

int HttpClient::ReadAnswer(HINTERNET request, const HttpRequest& r, WString& output) {
    int known = 0;
    DWORD length = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, &known);
    if (r.callback) {
        if (!r.callback(HTTP_POST_CONTENT_LENGTH, &length, r.context))
            return 0;
        wchar_t* cookie = (wchar_t*)ReportHeap::Allocate(10000);
        FreeOnExit cookieOwner = {cookie};
        if (!cookie)
            return 0;
        for (DWORD index = 0;;) {
            DWORD size = 10000;
            if (!api.HttpQueryInfoW(request, HTTP_QUERY_SET_COOKIE, cookie, &size, &index))
                break;
            if (!r.callback(HTTP_POST_COOKIE, cookie, r.context))
                return 0;
        }
    }
    FileObject file;
    HttpMemorySink* memory = nullptr;
    if (r.callback) {
        WString filePath;
        r.callback(HTTP_POST_FILE_SINK, &filePath, r.context);
        if (!filePath.IsEmpty()) {
            if (!file.Open(filePath, FileObject::WRITE_CREATE, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                           FILE_SHARE_READ | FILE_SHARE_WRITE))
                return 0;
        } else {
            r.callback(HTTP_POST_MEMORY_SINK, &memory, r.context);
        }
    }
    if (!file.IsOpen() && !memory)
        output.Assign(L"");
    unsigned char* block = (unsigned char*)ReportHeap::Allocate(AnswerBlock + 1);
    FreeOnExit blockOwner = {block};
    if (!block)
        return 0;
    RateLimiter limiter(r.downloadRate);
    int result = 0;
    unsigned long long received = 0;
    DWORD remaining = r.byteLimit;
    for (;;) {
        DWORD want = r.byteLimit && remaining < AnswerBlock ? remaining : AnswerBlock;
        DWORD got = 0;
        if (!api.InternetReadFile(request, block, want, &got)) {
            result = 0;
            break;
        }
        result = 1;
        if (got == 0)
            break;
        int stored;
        if (file.IsOpen()) {
            stored = file.Write(got, nullptr, block);
        } else if (memory) {
            // The size is 64-bit; a 32-bit process can still only hold what fits in size_t.
            unsigned long long size = memory->size + got;
            unsigned char* grown = size <= SIZE_MAX ? (unsigned char*)realloc(memory->data, (size_t)size) : nullptr;
            stored = grown != nullptr;
            if (grown) {
                memcpy(grown + memory->size, block, got);
                memory->data = grown;
                memory->size = size;
            }
        } else {
            stored = AppendBytes(output, block, got);
        }
        if (!stored) {
            result = 0;
            break;
        }
        received += got;
        limiter.After(got);
        if (!Ask(r.callback, HTTP_POST_RECEIVED, &received, r.context))
            break;
        if (r.byteLimit && (remaining -= got) == 0)
            break;
    }
    if (r.callback)
        r.callback(HTTP_POST_DONE, nullptr, r.context);
    return result;
}
