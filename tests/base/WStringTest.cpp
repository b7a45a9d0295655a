#include "base/WString.h"

#include <gtest/gtest.h>

#include <string>

TEST(WString, DefaultStringIsEmptyWithDefaultCapacity) {
    WString s;
    EXPECT_EQ(260u, s.Capacity());
    EXPECT_EQ(1u, s.Used());
    EXPECT_EQ(0, s.Length());
    EXPECT_EQ(259, s.MaxLength());
    EXPECT_STREQ(L"", s.Buffer());
}

TEST(WString, AssignGrowsExactlyAndNeverShrinks) {
    WString s(4);
    ASSERT_TRUE(s.Assign(L"abcdefghij"));
    EXPECT_EQ(11u, s.Capacity());
    EXPECT_EQ(10, s.Length());
    ASSERT_TRUE(s.Assign(L"xy"));
    EXPECT_EQ(11u, s.Capacity());
    EXPECT_STREQ(L"xy", s.Buffer());
    ASSERT_TRUE(s.Assign(nullptr));
    EXPECT_STREQ(L"", s.Buffer());
}

TEST(WString, AppendReservesSlack) {
    WString s(4);
    s.Assign(L"abc");
    ASSERT_EQ(4u, s.Capacity());
    // Full: one more character grows to used + 1 + 20.
    ASSERT_TRUE(s.AppendChar(L'd'));
    EXPECT_EQ(4u + 1 + 20, s.Capacity());
    EXPECT_STREQ(L"abcd", s.Buffer());
    ASSERT_TRUE(s.Append(L"efg"));
    EXPECT_STREQ(L"abcdefg", s.Buffer());
    EXPECT_EQ(25u, s.Capacity());
    EXPECT_TRUE(s.Append((const wchar_t*)nullptr));
    EXPECT_STREQ(L"abcdefg", s.Buffer());
}

TEST(WString, AppendOfItselfSurvivesReallocation) {
    WString s(6);
    s.Assign(L"abcde");
    ASSERT_TRUE(s.Append(s.Buffer()));
    EXPECT_STREQ(L"abcdeabcde", s.Buffer());
    ASSERT_TRUE(s.Insert(2, s.Buffer() + 8));
    EXPECT_STREQ(L"abdecdeabcde", s.Buffer());
}

TEST(WString, AppendNarrowAndByte) {
    WString s;
    s.Assign(L"x");
    ASSERT_TRUE(s.AppendNarrow("yz"));
    ASSERT_TRUE(s.AppendByte(0xE9));
    EXPECT_STREQ(L"xyz\u00e9", s.Buffer());
    EXPECT_EQ(4, s.Length());
}

TEST(WString, EnsureTrailing) {
    WString s;
    EXPECT_STREQ(L"\\", s.EnsureTrailing(L'\\'));
    s.Assign(L"C:\\dir");
    s.EnsureTrailing(L'\\');
    s.EnsureTrailing(L'\\');
    EXPECT_STREQ(L"C:\\dir\\", s.Buffer());
}

TEST(WString, ReserveCutsTextThatNoLongerFits) {
    WString s;
    s.Assign(L"abcdef");
    ASSERT_TRUE(s.Reserve(4));
    EXPECT_EQ(4u, s.Capacity());
    EXPECT_STREQ(L"abc", s.Buffer());
    EXPECT_EQ(4u, s.Used());
}

TEST(WString, AllocationFailureLeavesAnUnusableButSafeString) {
    // Only a 32-bit process is sure to be refused a block of 2^32 bytes; a 64-bit one may get it.
    if (sizeof(void*) != 4)
        GTEST_SKIP() << "allocation failure is only certain in a 32-bit process";
    WString s;
    s.Assign(L"text");
    // No 32-bit process can hold 2^31 wide characters; the request must fail cleanly.
    EXPECT_EQ(0, s.Reserve(0x7FFFFFF0u));
    EXPECT_EQ(nullptr, s.Buffer());
    EXPECT_EQ(0u, s.Capacity());
    EXPECT_EQ(0u, s.Used());
    EXPECT_EQ(0, s.Length());
    // Every later operation copes with the missing buffer.
    EXPECT_EQ(nullptr, s.EnsureTrailing(L'x'));
    EXPECT_EQ(0, s.GetAt(0));
    EXPECT_EQ(-1, s.IndexOf(L'a'));
    EXPECT_EQ(0, s.Compare(L""));
    ASSERT_TRUE(s.Assign(L"back"));
    EXPECT_STREQ(L"back", s.Buffer());

    // A growth that fails through an append resets to the default capacity.
    WString t;
    t.Assign(L"abc");
    std::wstring huge(16, L'x');
    EXPECT_TRUE(t.Append(huge.c_str()));
    EXPECT_EQ(0, t.AssignMultiByte("abc", 0xFFFFFFF0u, WString::BYTE_PER_CHAR, CP_ACP));
    EXPECT_EQ(260u, t.Capacity());
    EXPECT_STREQ(L"", t.Buffer());
}

TEST(WString, SetUsedRefusesOutOfRange) {
    WString s(10);
    EXPECT_EQ(0, s.SetUsed(0));
    EXPECT_EQ(0, s.SetUsed(10));
    wcscpy(s.Buffer(), L"abcdef");
    ASSERT_TRUE(s.SetUsed(4));
    EXPECT_STREQ(L"abc", s.Buffer());
}

TEST(WString, LeftMidDeleteInsert) {
    WString s;
    s.Assign(L"window");
    s.Left(-5);
    EXPECT_STREQ(L"", s.Buffer());
    s.Assign(L"window");
    s.Left(100);
    EXPECT_STREQ(L"window", s.Buffer());
    s.Mid(3, 100);
    EXPECT_STREQ(L"dow", s.Buffer());
    s.Assign(L"window");
    s.Mid(2);
    EXPECT_STREQ(L"ndow", s.Buffer());
    s.Assign(L"window");
    s.Delete(1, 3);
    EXPECT_STREQ(L"wow", s.Buffer());
    s.Delete(5, 1);
    EXPECT_STREQ(L"wow", s.Buffer());
    s.Insert(99, L"!");
    EXPECT_STREQ(L"wow!", s.Buffer());
    s.InsertChar(0, L'<');
    EXPECT_STREQ(L"<wow!", s.Buffer());
    EXPECT_EQ(nullptr, s.SetAt(6, L'x'));
    EXPECT_EQ(nullptr, s.SetAt(5, L'x')) << "the terminator's place takes only a terminator";
    EXPECT_STREQ(L"<wow!", s.Buffer());
    s.SetAt(2, 0);
    EXPECT_STREQ(L"<w", s.Buffer());
    EXPECT_EQ(2, s.Length());
    EXPECT_EQ(L'w', s.GetAt(1));
    EXPECT_EQ(0, s.GetAt(-1));
}

TEST(WString, TrimUsesTheLocaleSpaceClass) {
    WString s;
    s.Assign(L" \t\u3000 text here \r\n");
    s.TrimRight();
    s.TrimLeft();
    EXPECT_STREQ(L"text here", s.Buffer());
}

TEST(WString, ReplaceCollapsesRunsOfQuotes) {
    WString s;
    s.Assign(L"a\"\"\"\"b");
    s.Replace(L"\"\"", L"\"", WString::IN_PLACE);
    EXPECT_STREQ(L"a\"b", s.Buffer());

    s.Assign(L"a\"\"\"\"b");
    s.Replace(L"\"\"", L"\"", WString::MAY_GROW);
    EXPECT_STREQ(L"a\"b", s.Buffer());

    s.Assign(L"one-two-three");
    s.Replace(L"-", L" and ", WString::IN_PLACE);
    EXPECT_STREQ(L"one and two and three", s.Buffer());
    s.Replace(L" and ", nullptr, WString::IN_PLACE);
    EXPECT_STREQ(L"onetwothree", s.Buffer());

    // A replacement containing the needle would never end.
    s.Assign(L"aa");
    EXPECT_EQ(nullptr, s.Replace(L"a", L"ba", WString::MAY_GROW));
    EXPECT_STREQ(L"aa", s.Buffer());
}

TEST(WString, ReplaceNoCaseRemovesScheme) {
    WString s;
    s.Assign(L"HTTP://example.org/");
    s.ReplaceNoCase(L"http://", nullptr);
    EXPECT_STREQ(L"example.org/", s.Buffer());
}

TEST(WString, SearchingAndComparison) {
    WString s;
    s.Assign(L"Program Files\\App");
    EXPECT_EQ(8, s.IndexOf(L'F'));
    EXPECT_EQ(13, s.LastIndexOf(L'\\'));
    EXPECT_EQ(-1, s.IndexOf(L'z'));
    EXPECT_EQ(8, s.IndexOfNoCase(L"files"));
    EXPECT_EQ(-1, s.IndexOfNoCase(L"program", 1));
    EXPECT_EQ(-1, s.IndexOfNoCase(L"x", 100));
    EXPECT_EQ(-1, s.IndexOfNoCase(nullptr));
    EXPECT_EQ(nullptr, s.FindNoCase(nullptr));
    EXPECT_NE(nullptr, s.Find(L"Files"));

    WString empty;
    EXPECT_EQ(0, empty.Compare(nullptr));
    EXPECT_EQ(-1, s.Compare(nullptr));
    EXPECT_EQ(0, empty.CompareNoCase(nullptr));
    EXPECT_EQ(-1, s.CompareNoCase(nullptr, 3));
    EXPECT_EQ(0, s.CompareNoCase(L"PROGRAM FILES\\APP"));
    EXPECT_EQ(0, s.CompareNoCase(L"progXXX", 4));
    EXPECT_LT(s.Compare(L"Program Files\\Apq"), 0);
}

TEST(WString, FormattingRetriesWithGrowingCapacity) {
    WString s;
    std::wstring text(300, L'x');
    ASSERT_TRUE(s.Format(L"%s", text.c_str()));
    EXPECT_EQ(520u, s.Capacity());
    EXPECT_EQ(300, s.Length());

    ASSERT_TRUE(s.Format(L"%s [%u.%02u] %I64u", L"Veltrix", 1u, 10u, 12345678901234ull));
    EXPECT_STREQ(L"Veltrix [1.10] 12345678901234", s.Buffer());

    // 20,000 characters: 260 -> ... steps of 260 until 10,240 is passed, then steps of 10,240.
    std::wstring big(20000, L'y');
    WString t;
    ASSERT_TRUE(t.Format(L"%s", big.c_str()));
    EXPECT_EQ(20000, t.Length());
    EXPECT_EQ(10400u + 10240u, t.Capacity());
}

TEST(WString, AssignMultiByteModesAndFallback) {
    WString s;
    const char raw[] = "\xC3\xA9t\xC3\xA9";
    ASSERT_TRUE(s.AssignMultiByte(raw, 5, WString::BYTE_PER_CHAR, 0));
    EXPECT_EQ(5, s.Length());
    EXPECT_EQ(0xC3, s.GetAt(0));
    WString decoded;
    ASSERT_TRUE(s.DecodeUtf8(decoded));
    EXPECT_STREQ(L"\u00e9t\u00e9", decoded.Buffer());

    ASSERT_TRUE(s.AssignMultiByte(raw, 5, WString::THROUGH_CODE_PAGE, CP_UTF8));
    EXPECT_STREQ(L"\u00e9t\u00e9", s.Buffer());

    // An unknown code page falls back to the ANSI code page.
    ASSERT_TRUE(s.AssignMultiByte("plain", 5, WString::THROUGH_CODE_PAGE, 12345));
    EXPECT_STREQ(L"plain", s.Buffer());
}

TEST(WString, ToNarrowModes) {
    WString s;
    s.Assign(L"A\u0141B");
    char* low = s.ToNarrow(WString::BYTE_PER_CHAR);
    ASSERT_NE(nullptr, low);
    EXPECT_EQ('A', low[0]);
    EXPECT_EQ((char)0x41, low[1]);
    s.Assign(L"plain");
    EXPECT_STREQ("plain", s.ToNarrow(WString::THROUGH_CODE_PAGE));
}

TEST(WString, TokenizeReadsAsTheFirstToken) {
    WString s;
    s.Assign(L"one,two;three");
    wchar_t* token = s.Tokenize(WString::FIRST_TOKEN, L",;");
    EXPECT_STREQ(L"one", token);
    EXPECT_STREQ(L"one", s.Buffer());
    EXPECT_STREQ(L"two", s.Tokenize(WString::NEXT_TOKEN, L",;"));
    EXPECT_STREQ(L"three", s.Tokenize(WString::NEXT_TOKEN, L",;"));
    EXPECT_EQ(nullptr, s.Tokenize(WString::NEXT_TOKEN, L",;"));
}

TEST(WString, NextLineDeliversLfAndCrLfLines) {
    WString text, line;
    text.Assign(L"a\r\nb");
    ASSERT_TRUE(text.FirstLine(line));
    EXPECT_STREQ(L"a", line.Buffer());
    ASSERT_TRUE(text.NextLine(line));
    EXPECT_STREQ(L"b", line.Buffer());
    EXPECT_FALSE(text.NextLine(line));

    text.Assign(L"first\n\nthird\r\n");
    ASSERT_TRUE(text.FirstLine(line));
    EXPECT_STREQ(L"first", line.Buffer());
    ASSERT_TRUE(text.NextLine(line));
    EXPECT_STREQ(L"", line.Buffer());
    ASSERT_TRUE(text.NextLine(line));
    EXPECT_STREQ(L"third", line.Buffer());
    EXPECT_FALSE(text.NextLine(line));

    WString empty;
    EXPECT_FALSE(empty.FirstLine(line));
}

TEST(PathText, RemoveLastComponent) {
    wchar_t path[MAX_PATH];
    wcscpy(path, L"C:\\dir\\file");
    EXPECT_EQ(1, RemoveLastComponent(path));
    EXPECT_STREQ(L"C:\\dir", path);
    EXPECT_EQ(1, RemoveLastComponent(path));
    EXPECT_STREQ(L"C:\\", path);
    EXPECT_EQ(0, RemoveLastComponent(path));
    EXPECT_STREQ(L"C:\\", path);
    wcscpy(path, L"name");
    EXPECT_EQ(1, RemoveLastComponent(path));
    EXPECT_STREQ(L"", path);
    wcscpy(path, L"C:name");
    EXPECT_EQ(0, RemoveLastComponent(path));
    EXPECT_STREQ(L"C:name", path);
    wcscpy(path, L"\\\\server\\share\\dir");
    EXPECT_EQ(1, RemoveLastComponent(path));
    EXPECT_STREQ(L"\\\\server\\share", path);
}

TEST(PathText, FileNameAndExtensionParts) {
    EXPECT_STREQ(L"App.lnk", FileNamePart(L"C:\\Start\\App.lnk"));
    EXPECT_STREQ(L"dir\\", FileNamePart(L"C:\\dir\\"));
    EXPECT_STREQ(L"plain", FileNamePart(L"plain"));
    EXPECT_STREQ(L".lnk", ExtensionPart(L"App.lnk"));
    EXPECT_STREQ(L"", ExtensionPart(L"Setup 2.0 Beta"));
    EXPECT_STREQ(L".lnk", ExtensionPart(L"Tool 1.5 Beta.lnk"));
    EXPECT_STREQ(L"", ExtensionPart(L"my.dir\\readme"));

    WString extension;
    UrlExtension(L"http://host/file.zip?v=1.2", extension);
    EXPECT_STREQ(L".zip", extension.Buffer());
    UrlExtension(L"http://host/file?x.y", extension);
    EXPECT_STREQ(L"", extension.Buffer());
}

TEST(PathText, InPlaceHelpers) {
    wchar_t text[64];
    wcscpy(text, L"\"C:\\Program Files\\x.exe\"");
    StripQuotes(text);
    EXPECT_STREQ(L"C:\\Program Files\\x.exe", text);
    wcscpy(text, L"\"C:\\Tools");
    StripQuotes(text);
    EXPECT_STREQ(L"C:\\Tools", text) << "an unclosed quote keeps the last character";

    wcscpy(text, L"Veltrix.exe");
    StripExtension(text, 3);
    EXPECT_STREQ(L"Veltrix", text);
    wcscpy(text, L"archive.backup");
    StripExtension(text, 3);
    EXPECT_STREQ(L"archive.backup", text);

    wcscpy(text, L"\"C:\\My Apps\\v.exe\" -s -o1");
    EXPECT_STREQ(L"-s -o1", SkipFirstArgument(text));
    wcscpy(text, L"v.exe");
    EXPECT_STREQ(L"", SkipFirstArgument(text));

    wcscpy(text, L"trail   ");
    TrimTrailingBlanks(text);
    EXPECT_STREQ(L"trail", text);

    wcscpy(text, L"a\r\nb\n");
    LineBreaksToSpaces(text);
    EXPECT_STREQ(L"a  b ", text);

    char narrow[4];
    EXPECT_EQ(1, WideToAnsi(L"abc", narrow, 4));
    EXPECT_EQ(0, WideToAnsi(L"abcd", narrow, 4));
    EXPECT_STREQ("abc", narrow) << "cut, not lost";
}

TEST(WString, ToBstrCopiesTheText) {
    WString s;
    s.Assign(L"com text");
    Bstr copy = s.ToBstr();
    ASSERT_NE(nullptr, copy.Get());
    EXPECT_STREQ(L"com text", copy.Get());
    EXPECT_EQ(8u, copy.Length());
    EXPECT_NE((const wchar_t*)s.Buffer(), (const wchar_t*)copy.Get());
}
