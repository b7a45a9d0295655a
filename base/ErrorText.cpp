#include "base/ErrorText.h"

#include "base/WString.h"

#include <wchar.h>

namespace {

// FormatMessageW into an allocated block, so that a long message is shortened rather than lost: with a
// fixed buffer that is too small the call fails outright.
int Lookup(DWORD source, HMODULE module, DWORD code, wchar_t* target, unsigned capacity) {
    wchar_t* message = nullptr;
    DWORD length = FormatMessageW(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                                  LANG_USER_DEFAULT, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length == 0 || !message)
        return 0;
    wcsncpy(target, message, capacity - 1);
    target[capacity - 1] = 0;
    LocalFree(message);
    return 1;
}

} // namespace

int ErrorText::FromError(DWORD code) {
    text[0] = 0;
    if (!Lookup(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, text, Capacity)) {
        // Only a module that is already loaded is asked: this runs right after a wininet call failed, and
        // loading a library while a crash report is being sent is best avoided.
        HMODULE wininet = GetModuleHandleW(L"wininet.dll");
        if (!wininet || !Lookup(FORMAT_MESSAGE_FROM_HMODULE, wininet, code, text, Capacity))
            return 0;
    }
    // Messages end in CR LF and some span lines; the report keeps one line per entry.
    LineBreaksToSpaces(text);
    TrimTrailingBlanks(text);
    return 1;
}
