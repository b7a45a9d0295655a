#pragma once
// A fixed 260-character buffer holding the system's text for the last error of a failed operation, one
// line long, for reports that tell why something went wrong.

#include <windows.h>

class ErrorText {
public:
    static const unsigned Capacity = 260;

    ErrorText() { text[0] = 0; }
    ErrorText(const ErrorText&) = delete;
    ErrorText& operator=(const ErrorText&) = delete;

    // The message for a last-error code in the user's default language, from the system's message table or
    // else from wininet.dll's (the Internet errors 12000-12175 live there). 1 when a text was found; the
    // buffer is empty otherwise.
    int FromError(DWORD code);
    void Clear() { text[0] = 0; }
    const wchar_t* Text() const { return text; }

private:
    wchar_t text[Capacity];
};
