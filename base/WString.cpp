#include "base/WString.h"

#include "base/ReportHeap.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

// True when p points into the block [start, start + count): such a source must be re-based after the
// block is reallocated.
bool PointsInto(const wchar_t* p, const wchar_t* start, unsigned count) {
    return p && start && p >= start && p < start + count;
}

} // namespace

WString::WString() : WString(DefaultCapacity) {}

WString::WString(unsigned initialCapacity)
    : buffer(nullptr), narrow(nullptr), capacity(0), used(0), lineCursor(nullptr) {
    Reset(initialCapacity);
}

WString::WString(const wchar_t* text) : WString(DefaultCapacity) {
    Assign(text);
}

WString::WString(const WString& other) : WString(DefaultCapacity) {
    Assign(other.buffer);
}

WString::WString(WString&& other) noexcept
    : buffer(other.buffer), narrow(other.narrow), capacity(other.capacity), used(other.used),
      lineCursor(other.lineCursor) {
    other.buffer = nullptr;
    other.narrow = nullptr;
    other.capacity = other.used = 0;
    other.lineCursor = nullptr;
}

WString::~WString() {
    Release();
}

WString& WString::operator=(const wchar_t* text) {
    Assign(text);
    return *this;
}

WString& WString::operator=(const char* text) {
    AssignNarrow(text);
    return *this;
}

WString& WString::operator=(const WString& other) {
    if (this != &other)
        Assign(other.buffer);
    return *this;
}

WString& WString::operator=(WString&& other) noexcept {
    if (this != &other) {
        Release();
        buffer = other.buffer;
        narrow = other.narrow;
        capacity = other.capacity;
        used = other.used;
        lineCursor = other.lineCursor;
        other.buffer = nullptr;
        other.narrow = nullptr;
        other.capacity = other.used = 0;
        other.lineCursor = nullptr;
    }
    return *this;
}

WString& WString::operator+=(const wchar_t* text) {
    Append(text);
    return *this;
}

WString& WString::operator+=(const char* text) {
    AppendNarrow(text);
    return *this;
}

WString& WString::operator+=(const WString& other) {
    Append(other.buffer);
    return *this;
}

void WString::Release() {
    ReportHeap::Release(buffer);
    ReportHeap::Release(narrow);
    buffer = nullptr;
    narrow = nullptr;
    capacity = used = 0;
    lineCursor = nullptr;
}

int WString::Reserve(unsigned n) {
    if (n == 0)
        n = 1;
    // Sizes whose byte count does not fit in size_t can never be allocated.
    if (n > (unsigned)(SIZE_MAX / sizeof(wchar_t))) {
        Release();
        return 0;
    }
    wchar_t* grown =
        (wchar_t*)ReportHeap::Reallocate(buffer, (size_t)capacity * sizeof(wchar_t), (size_t)n * sizeof(wchar_t));
    if (!grown) {
        // The old block is given up too, so the string is visibly unusable rather than silently stale.
        ReportHeap::Release(buffer);
        buffer = nullptr;
        capacity = used = 0;
        lineCursor = nullptr;
        return 0;
    }
    bool hadBuffer = buffer != nullptr;
    buffer = grown;
    capacity = n;
    lineCursor = nullptr;
    if (!hadBuffer || used == 0) {
        buffer[0] = 0;
        used = 1;
    } else if (used > n) {
        used = n;
        buffer[n - 1] = 0;
    }
    return 1;
}

int WString::Reset(unsigned n) {
    if (!Reserve(n))
        return 0;
    buffer[0] = 0;
    used = 1;
    return 1;
}

int WString::Fail() {
    Reset(DefaultCapacity);
    return 0;
}

int WString::SetUsed(unsigned n) {
    if (n == 0 || capacity == 0 || n > capacity - 1)
        return 0;
    used = n;
    buffer[n - 1] = 0;
    return 1;
}

unsigned WString::Recount() {
    used = buffer ? (unsigned)wcslen(buffer) + 1 : 0;
    return used;
}

wchar_t* WString::CopyTo(wchar_t* destination) const {
    if (!destination)
        return buffer;
    if (buffer)
        memcpy(destination, buffer, used * sizeof(wchar_t));
    else
        destination[0] = 0;
    return destination;
}

// Grows the buffer to exactly the need; never shrinks.
int WString::GrowExact(unsigned need) {
    if (buffer && capacity >= need)
        return 1;
    if (!Reserve(need))
        return Fail();
    return 1;
}

// Grows the buffer to the need plus the append slack, keeping repeated small appends cheap.
int WString::GrowForAppend(unsigned need) {
    if (buffer && capacity >= need)
        return 1;
    if (need > 0xFFFFFFFFu - AppendSlack || !Reserve(need + AppendSlack))
        return Fail();
    return 1;
}

int WString::Assign(const wchar_t* text, unsigned count) {
    if (!text) {
        if (!GrowExact(1))
            return 0;
        buffer[0] = 0;
        used = 1;
        return 1;
    }
    if (count >= 0xFFFFFFFFu)
        return Fail();
    // A source inside our own buffer is shorter than the capacity, so no reallocation can move it.
    if (!GrowExact(count + 1))
        return 0;
    memmove(buffer, text, (size_t)count * sizeof(wchar_t));
    buffer[count] = 0;
    Recount();
    return 1;
}

int WString::Assign(const wchar_t* text) {
    return Assign(text, text ? (unsigned)wcslen(text) : 0);
}

int WString::AssignNarrow(const char* bytes) {
    return AssignMultiByte(bytes, bytes ? (unsigned)strlen(bytes) : 0, THROUGH_CODE_PAGE, CP_ACP);
}

int WString::AssignMultiByte(const char* bytes, unsigned count, ByteMapping mapping, UINT codePage) {
    if (count >= 0xFFFFFFFFu || !GrowExact(count + 1))
        return Fail();
    if (!bytes) {
        buffer[0] = 0;
        used = 1;
        return 1;
    }
    if (mapping == BYTE_PER_CHAR) {
        // Raw bytes, one per character (as ISO 8859-1): how network data is held before decoding.
        for (unsigned i = 0; i < count; i++)
            buffer[i] = (unsigned char)bytes[i];
        buffer[count] = 0;
        Recount();
        return 1;
    }
    int n = MultiByteToWideChar(codePage, 0, bytes, (int)count, buffer, (int)capacity);
    if (n == 0 && codePage != CP_ACP && GetLastError() == ERROR_INVALID_PARAMETER)
        n = MultiByteToWideChar(CP_ACP, 0, bytes, (int)count, buffer, (int)capacity);
    if (n == 0 && count != 0)
        return Fail();
    // The terminator needs a place of its own.
    if ((unsigned)n >= capacity)
        return Fail();
    buffer[n] = 0;
    Recount();
    return 1;
}

int WString::Append(const wchar_t* text) {
    if (!text)
        return 1;
    if (!buffer && !Reset(DefaultCapacity))
        return 0;
    unsigned added = (unsigned)wcslen(text);
    // Appending (part of) itself: remember the offset, the buffer may move.
    bool self = PointsInto(text, buffer, capacity);
    size_t offset = self ? (size_t)(text - buffer) : 0;
    if (!GrowForAppend(used + added))
        return 0;
    if (self)
        text = buffer + offset;
    memmove(buffer + used - 1, text, (size_t)added * sizeof(wchar_t));
    used += added;
    buffer[used - 1] = 0;
    return 1;
}

int WString::AppendNarrow(const char* bytes) {
    if (!bytes)
        return 1;
    if (!buffer && !Reset(DefaultCapacity))
        return 0;
    int n = MultiByteToWideChar(CP_ACP, 0, bytes, -1, nullptr, 0);
    if (n <= 0)
        return Fail();
    if (!GrowForAppend(used + (unsigned)n - 1))
        return 0;
    unsigned room = capacity - (used - 1);
    int written = MultiByteToWideChar(CP_ACP, 0, bytes, -1, buffer + used - 1, (int)room);
    if (written <= 0 || (unsigned)written > room)
        return Fail();
    Recount();
    return 1;
}

int WString::AppendChar(wchar_t c) {
    if (!buffer && !Reset(DefaultCapacity))
        return 0;
    if (!GrowForAppend(used + 1))
        return 0;
    buffer[used - 1] = c;
    buffer[used] = 0;
    used++;
    return 1;
}

wchar_t* WString::EnsureTrailing(wchar_t c) {
    if (!buffer)
        return nullptr;
    if (used > 1 && buffer[used - 2] == c)
        return buffer;
    return AppendChar(c) ? buffer : nullptr;
}

void WString::Left(int n) {
    if (!buffer)
        return;
    int length = Length();
    if (n < 0)
        n = 0;
    if (n > length)
        n = length;
    buffer[n] = 0;
    Recount();
}

void WString::Mid(int start, int count) {
    if (!buffer)
        return;
    int length = Length();
    if (start < 0)
        start = 0;
    if (start > length)
        start = length;
    if (count < 0)
        count = 0;
    if (start + count > length)
        count = length - start;
    memmove(buffer, buffer + start, (size_t)count * sizeof(wchar_t));
    buffer[count] = 0;
    Recount();
}

void WString::Mid(int start) {
    int length = Length();
    if (start < 0)
        start = 0;
    Mid(start, length - start);
}

wchar_t* WString::Insert(int position, const wchar_t* text) {
    if (!buffer && !Reset(DefaultCapacity))
        return nullptr;
    if (!text)
        return buffer;
    int length = Length();
    if (position < 0)
        position = 0;
    if (position > length)
        position = length;
    unsigned added = (unsigned)wcslen(text);
    bool self = PointsInto(text, buffer, capacity);
    if (self) {
        // Inserting part of itself: work from a private copy, as the tail moves over the source.
        WString copy(text);
        return copy.Buffer() ? Insert(position, copy.Buffer()) : nullptr;
    }
    if (capacity < used + added && !GrowExact(used + added))
        return nullptr;
    memmove(buffer + position + added, buffer + position, (size_t)(used - position) * sizeof(wchar_t));
    memcpy(buffer + position, text, (size_t)added * sizeof(wchar_t));
    used += added;
    return buffer;
}

wchar_t* WString::InsertChar(int position, wchar_t c) {
    wchar_t text[2] = {c, 0};
    if (c == 0) {
        // A NUL inserted cuts the text at that point.
        if (!buffer)
            return nullptr;
        Left(position);
        return buffer;
    }
    return Insert(position, text);
}

void WString::Delete(int position, int count) {
    if (!buffer || position < 0 || count <= 0)
        return;
    int length = Length();
    if (position >= length)
        return;
    if (count > length - position)
        count = length - position;
    memmove(buffer + position, buffer + position + count, (size_t)(used - position - count) * sizeof(wchar_t));
    used -= count;
}

wchar_t* WString::SetAt(int index, wchar_t c) {
    if (!buffer || index < 0 || index > Length())
        return nullptr;
    // The terminator's place only takes another terminator: anything else would leave the text
    // unterminated, and the recount would run on into the unused part of the buffer.
    if (index == Length() && c != 0)
        return nullptr;
    buffer[index] = c;
    Recount();
    return buffer;
}

wchar_t WString::GetAt(int index) const {
    if (!buffer || index < 0 || index > Length())
        return 0;
    return buffer[index];
}

namespace {

bool IsSpace(wchar_t c) {
    WORD type = 0;
    if (!GetStringTypeExW(GetThreadLocale(), CT_CTYPE1, &c, 1, &type))
        return false;
    return (type & C1_SPACE) != 0;
}

} // namespace

void WString::TrimRight() {
    if (!buffer)
        return;
    wchar_t* cut = nullptr;
    for (wchar_t* p = buffer; *p; p = CharNextW(p)) {
        if (IsSpace(*p)) {
            if (!cut)
                cut = p;
        } else {
            cut = nullptr;
        }
    }
    if (cut) {
        *cut = 0;
        Recount();
    }
}

void WString::TrimLeft() {
    if (!buffer)
        return;
    wchar_t* p = buffer;
    while (*p && IsSpace(*p))
        p = CharNextW(p);
    if (p != buffer) {
        memmove(buffer, p, (wcslen(p) + 1) * sizeof(wchar_t));
        Recount();
    }
}

// Builds the text anew in a fresh block: before the occurrence, the replacement, the rest. The block
// holds the old capacity adjusted by the change in length. A failed allocation leaves no buffer.
int WString::SpliceInto(wchar_t* hit, size_t needleLength, const wchar_t* replacement, size_t replacementLength,
                        unsigned oldCapacity) {
    size_t newCapacity = oldCapacity + replacementLength - needleLength;
    if (newCapacity < used + replacementLength - needleLength)
        newCapacity = used + replacementLength - needleLength;
    wchar_t* grown = (wchar_t*)ReportHeap::Allocate(newCapacity * sizeof(wchar_t));
    if (!grown) {
        ReportHeap::Release(buffer);
        buffer = nullptr;
        capacity = used = 0;
        lineCursor = nullptr;
        return 0;
    }
    size_t before = (size_t)(hit - buffer);
    const wchar_t* rest = hit + needleLength;
    memcpy(grown, buffer, before * sizeof(wchar_t));
    if (replacementLength)
        memcpy(grown + before, replacement, replacementLength * sizeof(wchar_t));
    memcpy(grown + before + replacementLength, rest, (wcslen(rest) + 1) * sizeof(wchar_t));
    ReportHeap::Release(buffer);
    buffer = grown;
    capacity = (unsigned)newCapacity;
    lineCursor = nullptr;
    Recount();
    return 1;
}

wchar_t* WString::Replace(const wchar_t* needle, const wchar_t* replacement, ReplaceMode mode) {
    if (!buffer || !needle || !*needle)
        return buffer;
    size_t needleLength = wcslen(needle);
    size_t replacementLength = replacement ? wcslen(replacement) : 0;
    if (mode == IN_PLACE && replacementLength > needleLength && replacement)
        mode = MAY_GROW;
    // A replacement that holds the needle would be found again forever.
    if (replacement && wcsstr(replacement, needle))
        return nullptr;
    wchar_t* hit;
    while ((hit = wcsstr(buffer, needle)) != nullptr) {
        if (mode == IN_PLACE) {
            if (replacementLength)
                memcpy(hit, replacement, replacementLength * sizeof(wchar_t));
            wchar_t* rest = hit + needleLength;
            memmove(hit + replacementLength, rest, (wcslen(rest) + 1) * sizeof(wchar_t));
        } else if (!SpliceInto(hit, needleLength, replacement, replacementLength, capacity)) {
            return nullptr;
        }
    }
    Recount();
    return buffer;
}

wchar_t* WString::ReplaceNoCase(const wchar_t* needle, const wchar_t* replacement) {
    if (!buffer || !needle || !*needle)
        return buffer;
    size_t needleLength = wcslen(needle);
    size_t replacementLength = replacement ? wcslen(replacement) : 0;
    if (replacement && FindNoCaseFrom(replacement, needle))
        return nullptr;
    wchar_t* hit;
    while ((hit = FindNoCase(needle)) != nullptr) {
        if (!SpliceInto(hit, needleLength, replacement, replacementLength, capacity))
            return nullptr;
    }
    return buffer;
}

wchar_t* WString::Tokenize(TokenStep step, const wchar_t* delimiters) {
    if (!buffer)
        return nullptr;
    // wcstok keeps its position in the runtime's per-thread state, as the classic tokenizer does.
    wchar_t* token = wcstok(step == FIRST_TOKEN ? buffer : nullptr, delimiters);
    Recount();
    return token;
}

wchar_t* WString::Find(wchar_t c) const {
    return buffer ? wcschr(buffer, c) : nullptr;
}

int WString::IndexOf(wchar_t c) const {
    wchar_t* p = Find(c);
    return p ? (int)(p - buffer) : -1;
}

int WString::LastIndexOf(wchar_t c) const {
    wchar_t* p = buffer ? wcsrchr(buffer, c) : nullptr;
    return p ? (int)(p - buffer) : -1;
}

wchar_t* WString::Find(const wchar_t* text) const {
    return buffer && text ? wcsstr(buffer, text) : nullptr;
}

wchar_t* WString::FindNoCaseFrom(const wchar_t* from, const wchar_t* text) const {
    if (!from || !text)
        return nullptr;
    size_t length = wcslen(text);
    for (const wchar_t* p = from; *p; p = CharNextW(p)) {
        if (_wcsnicmp(p, text, length) == 0)
            return const_cast<wchar_t*>(p);
    }
    return length == 0 ? const_cast<wchar_t*>(from) : nullptr;
}

wchar_t* WString::FindNoCase(const wchar_t* text) const {
    return FindNoCaseFrom(buffer, text);
}

int WString::IndexOfNoCase(const wchar_t* text) const {
    return IndexOfNoCase(text, 0);
}

int WString::IndexOfNoCase(const wchar_t* text, int start) const {
    if (!text || !buffer || start < 0 || (unsigned)start >= used)
        return -1;
    wchar_t* p = FindNoCaseFrom(buffer + start, text);
    return p ? (int)(p - buffer) : -1;
}

namespace {

// A null argument equals an empty string and is less than any other.
int CompareWithNull(const wchar_t* own) {
    return (own && *own) ? -1 : 0;
}

} // namespace

int WString::Compare(const wchar_t* text) const {
    if (!text)
        return CompareWithNull(buffer);
    return wcscmp(buffer ? buffer : L"", text);
}

int WString::CompareNoCase(const wchar_t* text) const {
    if (!text)
        return CompareWithNull(buffer);
    return _wcsicmp(buffer ? buffer : L"", text);
}

int WString::CompareNoCase(const wchar_t* text, int count) const {
    if (!text)
        return CompareWithNull(buffer);
    return _wcsnicmp(buffer ? buffer : L"", text, (size_t)(count < 0 ? 0 : count));
}

char* WString::ToNarrow(ByteMapping mapping) {
    ReportHeap::Release(narrow);
    narrow = nullptr;
    if (!buffer)
        return nullptr;
    if (mapping == BYTE_PER_CHAR) {
        narrow = (char*)ReportHeap::Allocate(used);
        if (!narrow)
            return nullptr;
        for (unsigned i = 0; i < used; i++)
            narrow[i] = (char)(buffer[i] & 0xFF);
        return narrow;
    }
    size_t size = (size_t)used * 2;
    narrow = (char*)ReportHeap::Allocate(size);
    if (!narrow)
        return nullptr;
    int n = WideCharToMultiByte(CP_ACP, 0, buffer, (int)used, narrow, (int)size, nullptr, nullptr);
    if (n <= 0) {
        ReportHeap::Release(narrow);
        narrow = nullptr;
    }
    return narrow;
}

int WString::DecodeBytes(WString& target, UINT codePage) {
    unsigned size = used + 1 > DefaultCapacity ? used + 1 : DefaultCapacity;
    if (!target.Reset(size))
        return 0;
    char* bytes = ToNarrow(BYTE_PER_CHAR);
    if (!bytes)
        return 0;
    int n = MultiByteToWideChar(codePage, 0, bytes, (int)(used - 1), target.buffer, target.MaxLength());
    if (n <= 0 || n > target.MaxLength()) {
        target.buffer[0] = 0;
        target.Recount();
        return 0;
    }
    target.buffer[n] = 0;
    target.Recount();
    return 1;
}

int WString::Format(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = FormatV(format, arguments);
    va_end(arguments);
    return result;
}

int WString::FormatV(const wchar_t* format, va_list arguments) {
    if (!buffer && !Reset(DefaultCapacity))
        return 0;
    for (;;) {
        // Each pass needs its own copy: a va_list is consumed by the formatter.
        va_list pass;
        va_copy(pass, arguments);
        int n = _vsnwprintf(buffer, capacity - 1, format, pass);
        va_end(pass);
        if (n >= 0 && (unsigned)n < capacity) {
            buffer[n] = 0;
            Recount();
            return 1;
        }
        if (capacity >= FormatLimit) {
            Reset(DefaultCapacity);
            return 0;
        }
        unsigned step = 260;
        if (capacity > 409600)
            step = 409600;
        else if (capacity > 102400)
            step = 102400;
        else if (capacity > 10240)
            step = 10240;
        if (!Reserve(capacity + step)) {
            Reset(DefaultCapacity);
            return 0;
        }
        memset(buffer, 0, (size_t)capacity * sizeof(wchar_t));
    }
}

int WString::FirstLine(WString& target) {
    lineCursor = buffer;
    return NextLine(target);
}

int WString::NextLine(WString& target) {
    if (!lineCursor || !*lineCursor)
        return 0;
    wchar_t* lineStart = lineCursor;
    unsigned counted = 0;
    wchar_t* p = lineCursor;
    while (*p) {
        if (*p == L'\n') {
            target.Assign(lineStart, counted);
            lineCursor = p + 1;
            return 1;
        }
        if (*p == L'\r') {
            if (counted == 0)
                lineStart = p + 1;
        } else {
            counted++;
        }
        p = CharNextW(p);
    }
    lineCursor = p;
    if (counted == 0)
        return 0;
    target.Assign(lineStart, counted);
    return 1;
}

void TrimTrailingBlanks(wchar_t* text) {
    if (!text)
        return;
    size_t length = wcslen(text);
    while (length > 0 && text[length - 1] == L' ')
        text[--length] = 0;
}

wchar_t* LineBreaksToSpaces(wchar_t* text) {
    if (!text)
        return nullptr;
    wchar_t* p = text;
    for (; *p; p++) {
        if (*p == L'\r' || *p == L'\n')
            *p = L' ';
    }
    return p;
}

void StripQuotes(wchar_t* text) {
    if (!text || text[0] != L'"')
        return;
    size_t length = wcslen(text);
    // The closing quote goes only where there is one: an unclosed quote ("C:\Tools) keeps its last
    // real character. A lone quote simply disappears.
    size_t keep = length - 1;
    if (keep > 0 && text[length - 1] == L'"')
        keep--;
    memmove(text, text + 1, keep * sizeof(wchar_t));
    text[keep] = 0;
}

void StripExtension(wchar_t* text, int maxExtensionLength) {
    if (!text)
        return;
    wchar_t* dot = wcsrchr(text, L'.');
    if (dot && (int)wcslen(dot + 1) <= maxExtensionLength)
        *dot = 0;
}

wchar_t* SkipFirstArgument(wchar_t* text) {
    if (!text)
        return nullptr;
    bool quoted = false;
    for (wchar_t* p = text; *p; p++) {
        if (*p == L'"')
            quoted = !quoted;
        else if (*p == L' ' && !quoted)
            return p + 1;
    }
    return text + wcslen(text);
}

const wchar_t* FileNamePart(const wchar_t* text) {
    if (!text)
        return nullptr;
    const wchar_t* result = text;
    for (const wchar_t* p = text; *p; p++) {
        if ((*p == L'\\' || *p == L'/') && p[1])
            result = p + 1;
    }
    return result;
}

wchar_t* FileNamePart(wchar_t* text) {
    return const_cast<wchar_t*>(FileNamePart(const_cast<const wchar_t*>(text)));
}

const wchar_t* ExtensionPart(const wchar_t* text) {
    if (!text)
        return nullptr;
    const wchar_t* dot = nullptr;
    const wchar_t* p = text;
    for (; *p; p++) {
        if (*p == L'.')
            dot = p;
        else if (*p == L' ' || *p == L'\\' || *p == L'/')
            dot = nullptr;
    }
    return dot ? dot : p;
}

wchar_t* ExtensionPart(wchar_t* text) {
    return const_cast<wchar_t*>(ExtensionPart(const_cast<const wchar_t*>(text)));
}

void UrlExtension(const wchar_t* text, WString& target) {
    target.Assign(L"");
    if (!text)
        return;
    const wchar_t* dot = nullptr;
    const wchar_t* p = text;
    for (; *p && *p != L'?'; p++) {
        if (*p == L'.')
            dot = p;
        else if (*p == L' ' || *p == L'\\' || *p == L'/')
            dot = nullptr;
    }
    if (dot)
        target.Assign(dot, (unsigned)(p - dot));
}

int RemoveLastComponent(wchar_t* path) {
    if (!path)
        return 0;
    wchar_t* p = path;
    while (*p == L'\\' || *p == L'/')
        p++;
    wchar_t* cut = p;
    while (*p) {
        if (*p == L'\\' || *p == L'/') {
            cut = p;
        } else if (*p == L':') {
            if (p[1] == L'\\' || p[1] == L'/') {
                // Keep the separator of a drive root: C:\file becomes C:\ .
                cut = p + 2;
                p = CharNextW(p);
            } else {
                cut = nullptr;
            }
        }
        p = CharNextW(p);
    }
    if (!cut || !*cut)
        return 0;
    *cut = 0;
    return 1;
}

int WideToAnsi(const wchar_t* text, char* target, int targetSize) {
    if (!target || targetSize <= 0)
        return 0;
    target[0] = 0;
    if (!text)
        return 0;
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, target, targetSize, nullptr, nullptr) > 0)
        return 1;
    // A text longer than the buffer is kept cut rather than lost: the crash report prints module paths and
    // processor names this way, from a fixed buffer.
    target[targetSize - 1] = 0;
    return 0;
}
