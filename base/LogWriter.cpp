#include "base/LogWriter.h"

#include <wchar.h>

LogWriter::LogWriter() : flags(1) {}

void LogWriter::SetFlags(unsigned newFlags) {
    // The section is made before the flag that uses it is visible, and never torn down while the writer
    // lives: a Write on another thread may be inside it.
    if (newFlags & LOG_THREAD_SAFE)
        lock.Init();
    flags = newFlags;
}

void LogWriter::Write(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WriteV(format, arguments);
    va_end(arguments);
}

void LogWriter::WriteV(const wchar_t* format, va_list arguments) {
    unsigned current = flags;
    if (current & LOG_DISABLED)
        return;
    int locked = (current & LOG_THREAD_SAFE) ? lock.Enter() : 0;
    if ((current & LOG_MEMORY) && format) {
        WString line(1024);
        if (line.FormatV(format, arguments)) {
            int length = line.Length();
            if (length == 0 || line.GetAt(length - 1) != L'\n') {
                line.Append(L"\r\n");
            } else if (length == 1 || line.GetAt(length - 2) != L'\r') {
                line.SetAt(length - 1, L'\r');
                line.AppendChar(L'\n');
            }
            text.Append(line);
            Trim();
        }
    }
    if (locked)
        lock.Leave();
}

void LogWriter::Trim() {
    // Halving drops the oldest half; one long message may need it more than once. The cut moves on to
    // the start of the next line, so the log never begins with the tail of a line (or half of a
    // surrogate pair), unless the newer half holds no line break at all.
    while ((unsigned)text.Length() > TextLimit) {
        int length = text.Length();
        int cut = length / 2;
        const wchar_t* newline = wcschr(text.At(cut), L'\n');
        if (newline && newline[1])
            cut = (int)(newline + 1 - text.Buffer());
        else if (IS_LOW_SURROGATE(text.GetAt(cut)))
            cut++;
        text.Mid(cut);
    }
}
