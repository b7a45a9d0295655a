#include "update/ContainedPath.h"

#include <gtest/gtest.h>

TEST(ContainedPath, AcceptsOnlyNamesThatStayInsideTheFolder) {
    struct Case {
        const wchar_t* name;
        int contained; // IsContainedName(name)
        int asFolder;  // IsContainedName(name, 1)
        int plain;     // IsPlainFileName(name)
    };
    const Case cases[] = {
        {L"Veltrix.exe", 1, 1, 1},
        {L"lang\\de.dll", 1, 1, 0},
        {L"a/b\\c.txt", 1, 1, 0},
        {L" lead.txt", 1, 1, 1},
        {L"..data", 1, 1, 1},
        {L"console.log", 1, 1, 1},
        {L"com10", 1, 1, 1},
        {L"nul_x", 1, 1, 1},
        {L"\u03a9 \u30c6.txt", 1, 1, 1},
        {L"sub/", 0, 1, 0},
        {L"sub\\inner\\", 0, 1, 0},
        {nullptr, 0, 0, 0},
        {L"", 0, 0, 0},
        {L"/", 0, 0, 0},
        {L"/abs", 0, 0, 0},
        {L"\\abs", 0, 0, 0},
        {L"\\\\server\\share\\x", 0, 0, 0},
        {L"\\\\?\\C:\\x", 0, 0, 0},
        {L"C:\\x", 0, 0, 0},
        {L"C:x", 0, 0, 0},
        {L"x:stream", 0, 0, 0},
        {L"..", 0, 0, 0},
        {L"../x", 0, 0, 0},
        {L"a\\..\\..\\b", 0, 0, 0},
        {L"a/..", 0, 0, 0},
        {L"./x", 0, 0, 0},
        {L"a//b", 0, 0, 0},
        {L"sub//", 0, 0, 0},
        {L"trail.", 0, 0, 0},
        {L"trail ", 0, 0, 0},
        {L"dir. /x", 0, 0, 0},
        {L"nul", 0, 0, 0},
        {L"NUL.txt", 0, 0, 0},
        {L"a/Con", 0, 0, 0},
        {L"prn .log", 0, 0, 0},
        {L"aux/x", 0, 0, 0},
        {L"com1", 0, 0, 0},
        {L"LPT9.zip", 0, 0, 0},
        {L"com\u00b9", 0, 0, 0},
        {L"conin$", 0, 0, 0},
        {L"COM0", 0, 0, 0},
        {L"lpt0.txt", 0, 0, 0},
        {L"clock$", 0, 0, 0},
        {L"tab\there", 0, 0, 0},
        {L"a<b", 0, 0, 0},
        {L"a>b", 0, 0, 0},
        {L"a\"b", 0, 0, 0},
        {L"a|b", 0, 0, 0},
        {L"a?b", 0, 0, 0},
        {L"a*b", 0, 0, 0},
        // 8.3 short names: a second name for some file whose long name may be anything.
        {L"VELTRI~1.EXE", 0, 0, 0},
        {L"PROGRA~1\\x.txt", 0, 0, 0},
        {L"a~12", 0, 0, 0},
        {L"a~b.txt", 1, 1, 1},
        {L"~1x.txt", 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : L"(null)");
        EXPECT_EQ(c.contained, IsContainedName(c.name));
        EXPECT_EQ(c.asFolder, IsContainedName(c.name, 1));
        EXPECT_EQ(c.plain, IsPlainFileName(c.name));
    }
}
