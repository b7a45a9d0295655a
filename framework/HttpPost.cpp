#include "framework/HttpPost.h"

#include "base/WString.h"
#include "framework/AnswerSink.h"
#include "framework/RateLimiter.h"

#include <memory>
#include <new>
#include <string.h>
#include <wchar.h>

namespace {

const DWORD UploadPiece = 65536;
// Room for one Set-Cookie value of an answer.
const DWORD CookieBytes = 10000;

const DWORD PostFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
const DWORD CredentialDialogFlags =
    FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
const DWORD SendFlags = HSR_CHUNKED | HSR_INITIATE | HSR_SYNC;
static_assert(PostFlags == 0x84000300, "request flags as the servers have always seen them");

} // namespace

DWORD HttpPost::AskCredentials(HWND parent, HINTERNET request) {
    HWND owner = parent ? parent : GetForegroundWindow();
    // No window may be in the foreground (the user switched desktops, or locked the screen); the dialog
    // is refused without an owner, and the request would fail without ever asking.
    if (!owner)
        owner = GetDesktopWindow();
    return api.InternetErrorDlg(owner, request, ERROR_INTERNET_INCORRECT_PASSWORD, CredentialDialogFlags, nullptr);
}

int HttpPost::PostForm(const wchar_t* server, const wchar_t* objectPath, const wchar_t* userAgent, WString& output,
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

int HttpPost::PostForm(const HttpRequest& request, WString& output) {
    if (!form.Finish())
        return 0;
    HttpRequest post = request;
    post.verb = L"POST";
    post.headers = nullptr;
    post.optional = nullptr;
    post.optionalLength = 0;
    return SendRequest(post, output);
}

int HttpPost::SendBody(HINTERNET request, const HttpRequest& r) {
    FormPart* first = form.First();
    if (!first) {
        DWORD headersLength = r.headers && r.headersLength == (DWORD)-1 ? (DWORD)lstrlenW(r.headers) : r.headersLength;
        if (!api.HttpSendRequestW(request, r.headers, r.headers ? headersLength : 0, const_cast<void*>(r.optional),
                                  r.optionalLength)) {
            WininetSession::StoreLastError();
            return 0;
        }
        return 1;
    }
    // The first part goes out with the request's head: HttpSendRequestExW sends the data of the record
    // it is given (but follows no Next link); the rest is written after it.
    if (!api.HttpSendRequestExW(request, &first->buffers, nullptr, SendFlags, (DWORD_PTR)this))
        return 0;
    unsigned long long sent = first->Length();
    if (!AskHook(r.callback, HTTP_POST_SENT, &sent, r.context))
        return 0;
    RateLimiter limiter(r.uploadRate);
    for (FormPart* part = first->next; part; part = part->next) {
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
            if (!AskHook(r.callback, HTTP_POST_SENT, &sent, r.context))
                return 0;
        }
    }
    return api.HttpEndRequestW(request, nullptr, HSR_INITIATE, 0) != FALSE;
}

// The send after the credential dialog. HttpSendRequestW is what applies the credentials (wininet answers
// the proxy's challenge inside it), but it knows no part chain: a form goes along as one block, whole,
// since the first attempt has used up its parts' data on the wire.
int HttpPost::Resend(HINTERNET request, const HttpRequest& r) {
    if (!form.First())
        return SendBody(request, r);
    DWORD total = form.TotalLength();
    std::unique_ptr<unsigned char[]> body(new (std::nothrow) unsigned char[total ? total : 1]);
    if (!body)
        return 0;
    DWORD offset = 0;
    for (FormPart* part = form.First(); part; part = part->next) {
        memcpy(body.get() + offset, part->Data(), part->Length());
        offset += part->Length();
    }
    if (!api.HttpSendRequestW(request, FormBody::ContentType, (DWORD)wcslen(FormBody::ContentType), body.get(),
                              total)) {
        WininetSession::StoreLastError();
        return 0;
    }
    return 1;
}

int HttpPost::SendRequest(const HttpRequest& r, WString& output) {
    struct PartsGone {
        FormBody& form;
        ~PartsGone() { form.Clear(); }
    } partsGone = {form};
    if (r.status)
        *r.status = HTTP_STATUS_OK;
    WininetSession::Use use(session);
    if (!use)
        return 0;
    WininetSession::Handles handles(api);
    if (!session.Open(handles, r.userAgent, r.proxy, r.connectTimeout))
        return 0;
    handles.connection =
        api.InternetConnectW(handles.internet, r.server, r.port, r.user, r.password, r.service, 0, (DWORD_PTR)this);
    if (!handles.connection)
        return 0;
    session.SetHandleTimeouts(handles.connection);
    if (r.proxyUser && *r.proxyUser)
        api.InternetSetOptionW(handles.connection, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(r.proxyUser),
                               (DWORD)lstrlenW(r.proxyUser));
    if (r.proxyPassword && *r.proxyPassword)
        api.InternetSetOptionW(handles.connection, INTERNET_OPTION_PROXY_PASSWORD,
                               const_cast<wchar_t*>(r.proxyPassword), (DWORD)lstrlenW(r.proxyPassword));
    int endSession = 0;
    if (r.callback && r.callback(HTTP_POST_END_SESSION, &endSession, r.context) == 1 && endSession == 1)
        api.InternetSetOptionW(handles.connection, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
    DWORD bodyLength = form.First() ? form.TotalLength() : r.optionalLength;
    if (!AskHook(r.callback, HTTP_POST_BODY_LENGTH, &bodyLength, r.context))
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
    session.SetHandleTimeouts(handles.request);
    int keepSecurity = 0;
    if (r.callback)
        r.callback(HTTP_POST_KEEP_SECURITY, &keepSecurity, r.context);
    if (!keepSecurity) {
        DWORD security = SECURITY_FLAG_IGNORE_REVOCATION;
        api.InternetSetOptionW(handles.request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
    }
    HttpHeaderAdder adder = {api.HttpAddRequestHeadersW, handles.request};
    if (!AskHook(r.callback, HTTP_POST_ADD_HEADERS, &adder, r.context))
        return 0;
    if (!SendBody(handles.request, r))
        return 0;

    int known = 0;
    DWORD code = session.QueryNumber(handles.request, HTTP_QUERY_STATUS_CODE, &known);
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
        code = session.QueryNumber(handles.request, HTTP_QUERY_STATUS_CODE, &known);
        if (r.status)
            *r.status = code;
    }
    return ReadAnswer(handles.request, r, output);
}

int HttpPost::ReadAnswer(HINTERNET request, const HttpRequest& r, WString& output) {
    int known = 0;
    DWORD length = session.QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, &known);
    if (r.callback) {
        if (!r.callback(HTTP_POST_CONTENT_LENGTH, &length, r.context))
            return 0;
        std::unique_ptr<wchar_t[]> cookie(new (std::nothrow) wchar_t[CookieBytes / sizeof(wchar_t)]);
        if (!cookie)
            return 0;
        for (DWORD index = 0;;) {
            DWORD size = CookieBytes;
            if (!api.HttpQueryInfoW(request, HTTP_QUERY_SET_COOKIE, cookie.get(), &size, &index))
                break;
            if (!r.callback(HTTP_POST_COOKIE, cookie.get(), r.context))
                return 0;
        }
    }
    AnswerSink sink(output);
    if (r.callback) {
        WString filePath;
        r.callback(HTTP_POST_FILE_SINK, &filePath, r.context);
        if (!filePath.IsEmpty()) {
            if (!sink.OpenFile(filePath))
                return 0;
        } else {
            HttpMemorySink* memory = nullptr;
            r.callback(HTTP_POST_MEMORY_SINK, &memory, r.context);
            sink.UseMemory(memory);
        }
    }
    if (sink.IntoText())
        output.Assign(L"");
    const DWORD blockSize = AnswerSink::BlockSize;
    // The buffer holds one byte more than is ever read into it, as it always has.
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[blockSize + 1]);
    if (!block)
        return 0;
    RateLimiter limiter(r.downloadRate);
    int result = 0;
    unsigned long long received = 0;
    DWORD remaining = r.byteLimit;
    for (;;) {
        DWORD want = r.byteLimit && remaining < blockSize ? remaining : blockSize;
        DWORD got = 0;
        if (!api.InternetReadFile(request, block.get(), want, &got)) {
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
        limiter.After(got);
        if (!AskHook(r.callback, HTTP_POST_RECEIVED, &received, r.context))
            break;
        if (r.byteLimit && (remaining -= got) == 0)
            break;
    }
    if (r.callback)
        r.callback(HTTP_POST_DONE, nullptr, r.context);
    return result;
}
