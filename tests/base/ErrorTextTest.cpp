#include "base/ErrorText.h"

#include <gtest/gtest.h>

#include <string>

TEST(ErrorText, SystemMessageOnOneLine) {
    ErrorText text;
    ASSERT_EQ(1, text.FromError(ERROR_FILE_NOT_FOUND));
    std::wstring line = text.Text();
    ASSERT_FALSE(line.empty());
    // The system's messages end in a line break, which becomes a blank and is trimmed.
    EXPECT_EQ(std::wstring::npos, line.find_first_of(L"\r\n"));
    EXPECT_NE(L' ', line.back());
    // A code without a message leaves the text empty.
    EXPECT_EQ(0, text.FromError(0x2000FFFF));
    EXPECT_STREQ(L"", text.Text());
}
