#pragma once
// Collects formatted log lines in memory, each ending in CR LF, for the crash reporter's debug report.

#include "base/CriticalSection.h"
#include "base/WString.h"

class LogWriter {
public:
    enum : unsigned {
        LOG_DISABLED = 0x4,
        LOG_MEMORY = 0x80,
        LOG_THREAD_SAFE = 0x100,
    };
    // The collected text is kept at or below this many characters, the newest lines first to stay.
    static const unsigned TextLimit = 65536;

    LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    void SetFlags(unsigned newFlags);
    unsigned Flags() const { return flags; }
    void Write(const wchar_t* format, ...);
    void WriteV(const wchar_t* format, va_list arguments);
    const WString& Text() const { return text; }

private:
    void Trim();

    unsigned flags;
    CriticalSection lock;
    WString text;
};
