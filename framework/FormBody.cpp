#include "framework/FormBody.h"

#include "base/WString.h"

#include <new>
#include <wchar.h>

namespace {

// The boundary is fixed: servers that take our reports parse exactly this. A delimiter line in the body
// is "--" followed by the boundary of the header, hence two dashes more.
const wchar_t Delimiter[] = L"-------------------------------1234567890123";
static_assert(sizeof(Delimiter) / sizeof(wchar_t) - 1 == 31 + 13, "31 dashes before the digits");

} // namespace

const wchar_t FormBody::ContentType[] =
    L"Content-Type: multipart/form-data; boundary=-----------------------------1234567890123";

void FormBody::Clear() {
    while (firstPart) {
        FormPart* next = firstPart->next;
        delete firstPart;
        firstPart = next;
    }
    lastPart = nullptr;
}

int FormBody::Append(FormPart* part) {
    if (lastPart) {
        lastPart->next = part;
        lastPart->buffers.Next = &part->buffers;
    } else {
        firstPart = part;
    }
    lastPart = part;
    return 1;
}

int FormBody::AppendText(const wchar_t* text) {
    FormPart* part = new (std::nothrow) FormPart;
    if (!part || !part->SetText(text)) {
        delete part;
        return 0;
    }
    return Append(part);
}

int FormBody::AddField(const wchar_t* name, const wchar_t* value) {
    WString text;
    // The value goes as UTF-8 (FormPart), and the part says so: a server cannot guess a code page.
    if (!text.Format(L"%s\r\nContent-Disposition: form-data; name=\"%s\"\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                     L"\r\n%s\r\n",
                     Delimiter, name, value))
        return 0;
    return AppendText(text);
}

int FormBody::AddFile(const wchar_t* name, const wchar_t* path) {
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
    Append(head);
    Append(file);
    return Append(tail);
}

int FormBody::Finish() {
    WString closing;
    if (!closing.Format(L"%s--\r\n", Delimiter) || !AppendText(closing)) {
        Clear();
        return 0;
    }
    DWORD total = 0;
    for (FormPart* part = firstPart; part; part = part->next)
        total += part->Length();
    for (FormPart* part = firstPart; part; part = part->next)
        part->buffers.dwBufferTotal = total;
    firstPart->buffers.lpcszHeader = ContentType;
    firstPart->buffers.dwHeadersLength = firstPart->buffers.dwHeadersTotal = (DWORD)wcslen(ContentType);
    return 1;
}
