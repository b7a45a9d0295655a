#pragma once
// The program's one string type: growable, NUL-terminated UTF-16 text with an owned narrow
// conversion buffer, printf-style formatting and a line reader. Operations report failure as 0 or
// null; a failed growth leaves the string empty with the default capacity.

#include "base/Bstr.h"

#include <windows.h>
#include <stdarg.h>
#include <stddef.h>

class WString {
public:
    static const unsigned DefaultCapacity = 260;
    static const unsigned AppendSlack = 20;
    static const unsigned FormatLimit = 0x300000;
    // How ToNarrow and AssignMultiByte map characters and bytes: through a code page (ToNarrow's is the
    // ANSI one), or one byte per character, its low byte (ISO 8859-1), as network data is held.
    enum ByteMapping { THROUGH_CODE_PAGE = 0, BYTE_PER_CHAR = 1 };

    WString();
    explicit WString(unsigned initialCapacity);
    WString(const wchar_t* text);
    WString(const WString& other);
    WString(WString&& other) noexcept;
    ~WString();

    WString& operator=(const wchar_t* text);
    WString& operator=(const char* text);
    WString& operator=(const WString& other);
    WString& operator=(WString&& other) noexcept;
    WString& operator+=(const wchar_t* text);
    WString& operator+=(const char* text);
    WString& operator+=(const WString& other);
    operator const wchar_t*() const { return buffer; }

    // Capacity
    void Release();
    int Reserve(unsigned n);
    int Reset(unsigned n);
    int SetUsed(unsigned n);
    unsigned Recount();
    int Length() const { return used ? (int)used - 1 : 0; }
    int MaxLength() const { return capacity ? (int)capacity - 1 : 0; }
    unsigned Capacity() const { return capacity; }
    unsigned Used() const { return used; }
    wchar_t* Buffer() const { return buffer; }
    wchar_t* CopyTo(wchar_t* destination) const;
    wchar_t* At(int index) const { return buffer + index; }
    int IsEmpty() const { return !buffer || !buffer[0]; }

    // Assignment
    int Assign(const wchar_t* text, unsigned count);
    int Assign(const wchar_t* text);
    int AssignNarrow(const char* bytes);
    int AssignMultiByte(const char* bytes, unsigned count, ByteMapping mapping, UINT codePage);

    // Appending
    int Append(const wchar_t* text);
    int Append(const WString& other) { return Append(other.buffer); }
    int AppendNarrow(const char* bytes);
    int AppendChar(wchar_t c);
    int AppendByte(unsigned char b) { return AppendChar((wchar_t)b); }
    wchar_t* EnsureTrailing(wchar_t c);

    // Editing in place
    void Left(int n);
    void Mid(int start, int count);
    void Mid(int start);
    wchar_t* Insert(int position, const wchar_t* text);
    wchar_t* InsertChar(int position, wchar_t c);
    void Delete(int position, int count);
    wchar_t* SetAt(int index, wchar_t c);
    wchar_t GetAt(int index) const;
    void TrimRight();
    void TrimLeft();
    // IN_PLACE shifts the text inside its buffer; a replacement longer than the needle grows it as MAY_GROW.
    enum ReplaceMode : int { MAY_GROW = 0, IN_PLACE = 1 };
    wchar_t* Replace(const wchar_t* needle, const wchar_t* replacement, ReplaceMode mode);
    wchar_t* ReplaceNoCase(const wchar_t* needle, const wchar_t* replacement);
    // FIRST_TOKEN starts at the beginning of the text, NEXT_TOKEN goes on where the last call stopped.
    enum TokenStep : int { NEXT_TOKEN = 0, FIRST_TOKEN = 1 };
    wchar_t* Tokenize(TokenStep step, const wchar_t* delimiters);

    // Searching
    wchar_t* Find(wchar_t c) const;
    int IndexOf(wchar_t c) const;
    int LastIndexOf(wchar_t c) const;
    wchar_t* Find(const wchar_t* text) const;
    wchar_t* FindNoCase(const wchar_t* text) const;
    int IndexOfNoCase(const wchar_t* text) const;
    int IndexOfNoCase(const wchar_t* text, int start) const;

    // Comparison
    int Compare(const wchar_t* text) const;
    int CompareNoCase(const wchar_t* text) const;
    int CompareNoCase(const wchar_t* text, int count) const;

    // Conversion
    char* ToNarrow(ByteMapping mapping);
    int DecodeBytes(WString& target, UINT codePage);
    int DecodeUtf8(WString& target) { return DecodeBytes(target, CP_UTF8); }
    // A fresh COM string holding a copy of the text; raises ComError when it cannot be allocated.
    Bstr ToBstr() const { return Bstr(buffer); }

    // Formatting
    int Format(const wchar_t* format, ...);
    int FormatV(const wchar_t* format, va_list arguments);

    // Line reading over the string's own text
    int FirstLine(WString& target);
    int NextLine(WString& target);

private:
    int Fail();
    int GrowExact(unsigned need);
    int GrowForAppend(unsigned need);
    wchar_t* FindNoCaseFrom(const wchar_t* from, const wchar_t* text) const;
    int SpliceInto(wchar_t* hit, size_t needleLength, const wchar_t* replacement, size_t replacementLength,
                   unsigned oldCapacity);

    wchar_t* buffer;
    char* narrow;
    unsigned capacity;
    unsigned used;
    wchar_t* lineCursor;
};

// Helpers that work in place on raw wide buffers.
void TrimTrailingBlanks(wchar_t* text);
wchar_t* LineBreaksToSpaces(wchar_t* text);
void StripQuotes(wchar_t* text);
void StripExtension(wchar_t* text, int maxExtensionLength);
wchar_t* SkipFirstArgument(wchar_t* text);
wchar_t* FileNamePart(wchar_t* text);
const wchar_t* FileNamePart(const wchar_t* text);
wchar_t* ExtensionPart(wchar_t* text);
const wchar_t* ExtensionPart(const wchar_t* text);
void UrlExtension(const wchar_t* text, WString& target);
int RemoveLastComponent(wchar_t* path);
// The text in the ANSI code page, in the caller's buffer and always terminated; a text too long is cut.
// Allocates nothing (the crash report uses it). 1 when the whole text fit.
int WideToAnsi(const wchar_t* text, char* target, int targetSize);
