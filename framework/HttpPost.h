#pragma once
// Blocking requests that send something, over the Windows Internet API (wininet.dll, loaded at run
// time): a multipart/form-data POST of the fields and files added (AddFormField, AddFormFile, PostForm),
// or any verb with the request's own headers and data (SendRequest). Results are 1 or 0.

#include "framework/FormBody.h"
#include "framework/HttpCallback.h"
#include "framework/HttpRequest.h"
#include "framework/WininetSession.h"

#include <windows.h>
#include <wininet.h>

class WString;

class HttpPost {
public:
    HttpPost() : api(session.Entries()) {}
    HttpPost(const HttpPost&) = delete;
    HttpPost& operator=(const HttpPost&) = delete;

    // The parts of the next PostForm, sent in the order they were added.
    int AddFormField(const wchar_t* name, const wchar_t* value) { return form.AddField(name, value); }
    int AddFormFile(const wchar_t* name, const wchar_t* path) { return form.AddFile(name, path); }
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

    // Time-outs in milliseconds for the connect, each send and each receive of later requests; 0 keeps
    // the system's default.
    void SetTimeouts(DWORD connect, DWORD send, DWORD receive) { session.SetTimeouts(connect, send, receive); }

private:
    DWORD AskCredentials(HWND parent, HINTERNET request);
    int SendBody(HINTERNET request, const HttpRequest& r);
    int Resend(HINTERNET request, const HttpRequest& r);
    int ReadAnswer(HINTERNET request, const HttpRequest& r, WString& output);

    WininetSession session;
    const WininetSession::Api& api;
    FormBody form;
};
