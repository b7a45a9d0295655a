#pragma once
// The body of a multipart/form-data request: the fields and files added, in order, as a chain of
// FormPart records that HttpSendRequestExW and InternetWriteFile send one after the other.

#include "framework/FormPart.h"

#include <windows.h>

class FormBody {
public:
    // The header a form is sent with; its boundary is the one the parts are delimited by.
    static const wchar_t ContentType[];

    FormBody() = default;
    ~FormBody() { Clear(); }
    FormBody(const FormBody&) = delete;
    FormBody& operator=(const FormBody&) = delete;

    int AddField(const wchar_t* name, const wchar_t* value);
    // 0, and nothing added, when the file cannot be opened.
    int AddFile(const wchar_t* name, const wchar_t* path);
    // Ends the body with the closing delimiter, gives every record the total length and the first one
    // the Content-Type header. On 0 the parts are gone.
    int Finish();
    void Clear();

    FormPart* First() const { return firstPart; }
    // Of the finished body.
    DWORD TotalLength() const { return firstPart ? firstPart->buffers.dwBufferTotal : 0; }

private:
    int Append(FormPart* part);
    int AppendText(const wchar_t* text);

    FormPart* firstPart = nullptr;
    FormPart* lastPart = nullptr;
};
