#include "framework/CommandLineParser.h"

#include "base/FileObject.h"

#include <new>
#include <stdio.h>
#include <wchar.h>

const wchar_t* ReadQuotedToken(const wchar_t* p, WString& token) {
    token.Assign(L"");
    if (!p)
        return nullptr;
    while (*p == L' ')
        p++;
    if (!*p)
        return nullptr;
    const wchar_t* start = p;
    bool quoted = false;
    while (*p) {
        if (*p == L'"') {
            if (p[1] == L'"') {
                // A doubled quote is a literal quote and does not toggle.
                p += 2;
                continue;
            }
            quoted = !quoted;
        } else if (*p == L' ' && !quoted) {
            break;
        }
        p++;
    }
    token.Assign(start, (unsigned)(p - start));
    if (token.GetAt(0) == L'"') {
        StripQuotes(token.Buffer());
        token.Recount();
    }
    token.Replace(L"\"\"", L"\"", WString::IN_PLACE);
    return p;
}

CommandLineParser::Option* CommandLineParser::NewOption(const wchar_t* name, int type, const wchar_t* description) {
    Option* option = new (std::nothrow) Option;
    if (!option)
        return nullptr;
    option->name.Assign(name);
    option->description.Assign(description);
    option->type = type;
    options.PushBack(option);
    return option;
}

int CommandLineParser::AddOption(const wchar_t* name, int type, DWORD defaultLow, DWORD defaultHigh,
                                 const wchar_t* description) {
    Option* option = NewOption(name, type, description);
    if (!option)
        return 0;
    option->number = (long long)(((unsigned long long)defaultHigh << 32) | defaultLow);
    return 1;
}

int CommandLineParser::AddStringOption(const wchar_t* name, int type, const wchar_t* defaultText,
                                       const wchar_t* description) {
    Option* option = NewOption(name, type, description);
    if (!option)
        return 0;
    option->text.Assign(defaultText);
    return 1;
}

int CommandLineParser::AddFreeArgument(const WString& text) {
    Option* option = NewOption(nullptr, FREE_ARGUMENT, nullptr);
    if (!option)
        return 0;
    option->text.Assign(text);
    return 1;
}

int CommandLineParser::ParseCommandLine() {
    WString line;
    line.Assign(SkipFirstArgument(GetCommandLineW()));
    line.TrimLeft();
    line.TrimRight();
    return Parse(line);
}

namespace {

// The position after the next space-delimited token (leading spaces skipped).
const wchar_t* SkipToken(const wchar_t* p) {
    while (*p == L' ')
        p++;
    while (*p && *p != L' ')
        p++;
    return p;
}

} // namespace

const wchar_t* CommandLineParser::ParseOption(const wchar_t* p, int& result) {
    for (Option* option = First(); option; option = Next(option)) {
        if (option->type == FREE_ARGUMENT || option->name.IsEmpty())
            continue;
        int length = option->name.Length();
        // A prefix match: "-o1" and "-open" both start with the registered "o".
        if (_wcsnicmp(p, option->name, (size_t)length) != 0)
            continue;
        const wchar_t* after = p + length;
        switch (option->type) {
            case NUMBER:
            case HEX_NUMBER: {
                long long value = 0;
                if (swscanf(after, option->type == NUMBER ? L"%I64i" : L"%I64X", &value) == 1)
                    option->number = value;
                return SkipToken(after);
            }
            case SWITCH:
                option->number = 1;
                return after;
            case TEXT: {
                WString token;
                const wchar_t* next = ReadQuotedToken(after, token);
                if (!next)
                    continue; // no value follows: another option may still match
                option->text.Assign(token);
                return next;
            }
            default:
                break;
        }
    }
    // Nobody registered it: the caller keeps the text as a free argument and the parse reports the failure.
    result = 0;
    return nullptr;
}

const wchar_t* CommandLineParser::ParseResponseFile(const wchar_t* p, int& result, bool& stop) {
    WString fileName;
    const wchar_t* next = ReadQuotedToken(p, fileName);
    if (!next || fileName.IsEmpty()) {
        result = 0;
        stop = true;
        return p;
    }
    // A file that names itself, or two that name each other, would recurse until the stack overflows:
    // the nesting is bounded, and a file already being read is skipped (and counts as a failure).
    wchar_t fullPath[MAX_PATH];
    DWORD length = GetFullPathNameW(fileName, MAX_PATH, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH || openFiles.size() >= MaxResponseNesting) {
        result = 0;
        return next;
    }
    for (const std::wstring& open : openFiles) {
        if (_wcsicmp(open.c_str(), fullPath) == 0) {
            result = 0;
            return next;
        }
    }
    FileObject file;
    if (!file.Open(fullPath, FileObject::READ, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        result = 0;
        return next;
    }
    openFiles.push_back(fullPath);
    WString line;
    while (file.ReadLine(line, FileObject::NARROW_LINES, 0)) {
        if (!Parse(line)) {
            result = 0;
            break;
        }
    }
    openFiles.pop_back();
    return next;
}

int CommandLineParser::Parse(const wchar_t* text) {
    if (!text)
        return 1;
    WString copy;
    copy.Assign(text);
    copy.TrimLeft();
    copy.TrimRight();
    int result = 1;
    const wchar_t* p = copy.Buffer();
    while (p && *p) {
        if (*p == L' ') {
            p = CharNextW(p);
            continue;
        }
        if (*p == L'-' || *p == L'/') {
            const wchar_t* next = ParseOption(p + 1, result);
            if (!next) {
                // Unmatched option: read the option text itself as a free argument.
                WString token;
                const wchar_t* after = ReadQuotedToken(p, token);
                if (!after) {
                    p = CharNextW(p);
                    continue;
                }
                AddFreeArgument(token);
                p = after;
            } else {
                p = next;
            }
            continue;
        }
        if (*p == L'@') {
            bool stop = false;
            p = ParseResponseFile(p + 1, result, stop);
            if (stop)
                break;
            continue;
        }
        WString token;
        const wchar_t* after = ReadQuotedToken(p, token);
        if (!after) {
            result = 0;
            p = CharNextW(p);
            continue;
        }
        AddFreeArgument(token);
        p = after;
    }
    return result;
}

long long CommandLineParser::GetNumber(const wchar_t* name) const {
    for (Option* option = First(); option; option = Next(option)) {
        if (option->type <= SWITCH && option->name.CompareNoCase(name) == 0)
            return option->number;
    }
    return 0;
}

const wchar_t* CommandLineParser::GetString(const wchar_t* name) const {
    for (Option* option = First(); option; option = Next(option)) {
        if (option->type == TEXT && option->name.CompareNoCase(name) == 0)
            return option->text.IsEmpty() ? nullptr : option->text.Buffer();
    }
    return nullptr;
}
