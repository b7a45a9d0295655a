#pragma once
// The hook through which a caller follows and steers an HTTP request: asked with a code at fixed points
// of the request, it answers 0 to stop and anything else to go on. The data it is given depends on the
// code (listed below); `context` is passed through unchanged.

#include <windows.h>
#include <wininet.h>

typedef int (*HttpCallback)(int code, void* data, void* context);

enum HttpCallbackCode {
    // Every request; data: the URL or object path (const wchar_t*). Fetch and Download send cookies only
    // when the answer is exactly 1; SendRequest turns them off on 0.
    HTTP_COOKIES = 8,

    // SendRequest.
    HTTP_POST_BODY_LENGTH = 0,    // DWORD*: total length of the body; 0 ends the request
    HTTP_POST_SENT = 1,           // unsigned long long*: bytes sent so far; 0 ends the request
    HTTP_POST_CONTENT_LENGTH = 2, // DWORD*: Content-Length of the answer (0 when unknown); 0 ends the request
    HTTP_POST_COOKIE = 3,         // const wchar_t*: one Set-Cookie value of the answer; 0 ends the request
    HTTP_POST_RECEIVED = 4,       // unsigned long long*: bytes of the answer so far; 0 ends the reading
    HTTP_POST_DONE = 5,           // no data: the answer has been read
    HTTP_POST_ADD_HEADERS = 6,    // HttpHeaderAdder*: a chance to add request headers; 0 ends the request
    HTTP_POST_END_SESSION = 7,    // int*: write 1 (and answer 1) to end the browser session on the connection
    HTTP_POST_REDIRECTS = 9,      // const wchar_t*: the object path; 0 turns automatic redirects off
    HTTP_POST_FILE_SINK = 10,     // WString*: assign a path to receive the answer in that file
    HTTP_POST_KEEP_SECURITY = 11, // int*: write non-zero to keep the default security flags
    HTTP_POST_MEMORY_SINK = 12,   // HttpMemorySink**: point it at a sink to receive the answer in memory
    HTTP_POST_CREDENTIALS = 13,   // const wchar_t*: the object path; 0: no credentials sent, none asked for

    // Download.
    HTTP_DOWNLOAD_DISPOSITION = 0, // HttpFileInfo*: target path and Content-Disposition; 0 ends the request
    HTTP_DOWNLOAD_TYPE = 1,        // HttpFileInfo*: target path and Content-Type; 0 ends the request
    HTTP_DOWNLOAD_RESUME = 2,      // int*: write 1 to append to the existing file (resume)
    HTTP_DOWNLOAD_FAILED = 3,      // HttpDownloadEnd*: clear deleteFile to keep the file of a failed download
    HTTP_DOWNLOAD_LENGTH = 4,      // DWORD*: Content-Length (0 when unknown); 0 ends the request
    HTTP_DOWNLOAD_FINAL_URL = 5,   // const wchar_t*: the URL after redirects; 0 ends the request
    HTTP_DOWNLOAD_WRITTEN = 6,     // unsigned long long*: bytes written so far; 0 fails the download
    HTTP_DOWNLOAD_DONE = 7,        // no data: the body has been read; 0 fails the download
};

struct HttpFileInfo {
    const wchar_t* path;
    const wchar_t* value;
};

struct HttpDownloadEnd {
    DWORD status;
    int deleteFile;
    int result;
};

struct HttpHeaderAdder {
    decltype(::HttpAddRequestHeadersW)* add;
    HINTERNET request;
};

// A block on the C heap that grows with the answer; the caller frees `data` with free().
struct HttpMemorySink {
    unsigned char* data;
    unsigned long long size;
};

// The hook's answer, or 1 (go on) where the caller gave none.
inline int AskHook(HttpCallback callback, int code, const void* data, void* context) {
    return callback ? callback(code, const_cast<void*>(data), context) : 1;
}
