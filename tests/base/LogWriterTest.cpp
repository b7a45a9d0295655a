#include "base/LogWriter.h"

#include <gtest/gtest.h>

#include <string>

TEST(LogWriter, EndsEveryLineWithCrLfAndCollectsOnlyInMemoryMode) {
    LogWriter log;
    log.Write(L"default mode %d", 1);
    EXPECT_STREQ(L"", log.Text());

    log.SetFlags(LogWriter::LOG_MEMORY);
    log.Write(L"ends %s\r\n", L"right");
    log.Write(L"bare\n");
    log.Write(L"");
    log.Write(L"none");
    log.Write(L"\n");
    EXPECT_STREQ(L"ends right\r\nbare\r\n\r\nnone\r\n\r\n", log.Text());

    log.SetFlags(LogWriter::LOG_MEMORY | LogWriter::LOG_DISABLED);
    log.Write(L"dropped");
    EXPECT_STREQ(L"ends right\r\nbare\r\n\r\nnone\r\n\r\n", log.Text());
}

TEST(LogWriter, KeepsNewestHalfPastLimitFromLineStart) {
    LogWriter log;
    log.SetFlags(LogWriter::LOG_MEMORY | LogWriter::LOG_THREAD_SAFE);
    // 1000 lines of 98 characters with their CR LF: the 669th line takes the text past 65,536 characters.
    for (int i = 0; i < 1000; i++)
        log.Write(L"%04d %ls", i, std::wstring(91, L'x').c_str());
    std::wstring text = log.Text().Buffer();
    EXPECT_LE(text.size(), (size_t)LogWriter::TextLimit);
    EXPECT_GT(text.size(), (size_t)LogWriter::TextLimit / 2);
    EXPECT_EQ(0u, text.size() % 98) << "a line was cut";
    EXPECT_EQ(0u, text.find(L"0"));
    EXPECT_EQ(text.size() - 98, text.rfind(L"0999 "));

    // One message longer than the limit is halved as often as needed.
    LogWriter big;
    big.SetFlags(LogWriter::LOG_MEMORY);
    big.Write(L"%ls", std::wstring(200000, L'y').c_str());
    EXPECT_LE(big.Text().Length(), (int)LogWriter::TextLimit);
    EXPECT_EQ(L"yy\r\n", std::wstring(big.Text().Buffer() + big.Text().Length() - 4));
}
