#include "framework/CommandLineParser.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The program's own option table.
class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        parser.AddOption(L"p", CommandLineParser::SWITCH, 0, 0, nullptr);
        parser.AddOption(L"s", CommandLineParser::SWITCH, 0, 0, nullptr);
        parser.AddOption(L"e", CommandLineParser::SWITCH, 0, 0, nullptr);
        parser.AddOption(L"o", CommandLineParser::NUMBER, 0, 0, nullptr);
        parser.AddStringOption(L"r", CommandLineParser::TEXT, nullptr, nullptr);
    }
    std::vector<std::wstring> FreeArguments() const {
        std::vector<std::wstring> arguments;
        for (auto* option = parser.First(); option; option = parser.Next(option)) {
            if (option->type == CommandLineParser::FREE_ARGUMENT)
                arguments.push_back(option->text.Buffer());
        }
        return arguments;
    }
    CommandLineParser parser;
};

TEST_F(CommandLine, SwitchesNumbersAndCapitals) {
    EXPECT_EQ(1, parser.Parse(L"-s /E -O2"));
    EXPECT_EQ(1, parser.GetNumber(L"s"));
    EXPECT_EQ(1, parser.GetNumber(L"e"));
    EXPECT_EQ(0, parser.GetNumber(L"p"));
    EXPECT_EQ(2, parser.GetNumber(L"o"));
    EXPECT_EQ(2, parser.GetNumber(L"O"));
    EXPECT_TRUE(FreeArguments().empty());
}

TEST_F(CommandLine, NumberFormsAfterSpacesAndInHex) {
    EXPECT_EQ(1, parser.Parse(L"-o   7 -s"));
    EXPECT_EQ(7, parser.GetNumber(L"o"));
    EXPECT_EQ(1, parser.GetNumber(L"s"));
    EXPECT_EQ(1, parser.Parse(L"-o0x1F"));
    EXPECT_EQ(31, parser.GetNumber(L"o"));
    EXPECT_EQ(1, parser.Parse(L"-o -5"));
    EXPECT_EQ(-5, parser.GetNumber(L"o"));
    // A number that does not parse leaves the value alone.
    EXPECT_EQ(1, parser.Parse(L"-oabc"));
    EXPECT_EQ(-5, parser.GetNumber(L"o"));
}

TEST_F(CommandLine, PrefixMatchAndTrailingLetters) {
    // "-sx": the switch s is set, the letters after it become a free argument.
    EXPECT_EQ(1, parser.Parse(L"-sx"));
    EXPECT_EQ(1, parser.GetNumber(L"s"));
    EXPECT_EQ((std::vector<std::wstring>{L"x"}), FreeArguments());
}

TEST_F(CommandLine, UnregisteredOptionIsAFreeArgumentAndAFailedParse) {
    EXPECT_EQ(0, parser.Parse(L"-z -s"));
    EXPECT_EQ(1, parser.GetNumber(L"s"));
    EXPECT_EQ((std::vector<std::wstring>{L"-z"}), FreeArguments());
}

TEST_F(CommandLine, QuotesAndTextOptions) {
    EXPECT_EQ(1, parser.Parse(L"-r \"C:\\My Start Menu\" \"free arg\" plain say\"\"hi\"\"there"));
    EXPECT_STREQ(L"C:\\My Start Menu", parser.GetString(L"r"));
    EXPECT_EQ((std::vector<std::wstring>{L"free arg", L"plain", L"say\"hi\"there"}), FreeArguments());
}

TEST_F(CommandLine, EmptyTextCountsAsAbsent) {
    EXPECT_EQ(1, parser.Parse(L"-r \"\""));
    EXPECT_EQ(nullptr, parser.GetString(L"r"));
    EXPECT_EQ(nullptr, parser.GetString(L"nothing"));
    EXPECT_EQ(0, parser.GetNumber(L"nothing"));
}

TEST_F(CommandLine, ResponseFilesApplyLineByLine) {
    TempFolder folder{L"cmdline"};
    std::wstring file = folder.Write(L"options.rsp", "-s\r\n-o 2\n-r \"C:\\Tools Folder\"\n");
    std::wstring line = L"-e @\"" + file + L"\"";
    EXPECT_EQ(1, parser.Parse(line.c_str()));
    EXPECT_EQ(1, parser.GetNumber(L"e"));
    EXPECT_EQ(1, parser.GetNumber(L"s"));
    EXPECT_EQ(2, parser.GetNumber(L"o"));
    EXPECT_STREQ(L"C:\\Tools Folder", parser.GetString(L"r"));
}

TEST_F(CommandLine, ResponseFilesThatNameThemselvesOrEachOtherEnd) {
    TempFolder folder{L"cmdline-loop"};
    std::wstring self = folder.Path() + L"\\self.rsp", a = folder.Path() + L"\\a.rsp", b = folder.Path() + L"\\b.rsp";
    folder.Write(L"self.rsp", "-s\n@\"" + std::string(self.begin(), self.end()) + "\"\n");
    folder.Write(L"a.rsp", "-e\n@\"" + std::string(b.begin(), b.end()) + "\"\n");
    folder.Write(L"b.rsp", "-o 2\n@\"" + std::string(a.begin(), a.end()) + "\"\n");
    EXPECT_EQ(0, parser.Parse((L"@\"" + self + L"\" @\"" + a + L"\" -p").c_str())) << "the loops count as failures";
    EXPECT_EQ(1, parser.GetNumber(L"s"));
    EXPECT_EQ(1, parser.GetNumber(L"e"));
    EXPECT_EQ(2, parser.GetNumber(L"o"));
    EXPECT_EQ(1, parser.GetNumber(L"p")) << "parsing goes on after the loops";
    parser.Parse(L"-r \"C:\\Tools");
    EXPECT_STREQ(L"C:\\Tools", parser.GetString(L"r")) << "an unclosed quote keeps the last character";
}

TEST_F(CommandLine, MissingResponseFileKeepsWhatWasParsedBefore) {
    EXPECT_EQ(0, parser.Parse(L"-s @C:\\no\\such\\file.rsp -e"));
    EXPECT_EQ(1, parser.GetNumber(L"s"));
    EXPECT_EQ(1, parser.GetNumber(L"e"));
    CommandLineParser other;
    EXPECT_EQ(0, other.Parse(L"@"));
}

TEST_F(CommandLine, ProgramPathAloneParsesToNothing) {
    // CTest starts this program without arguments; a developer may add GoogleTest's own.
    if (__argc > 1)
        GTEST_SKIP() << "started with arguments";
    EXPECT_EQ(1, parser.ParseCommandLine());
    EXPECT_EQ(0, parser.GetNumber(L"s"));
    EXPECT_TRUE(FreeArguments().empty());
    EXPECT_EQ(1, parser.Parse(L""));
    EXPECT_EQ(1, parser.Parse(L"    "));
}

TEST(QuotedToken, DoubledQuotesAndSurroundingPair) {
    WString token;
    const wchar_t* text = L"  \"a b\" rest";
    const wchar_t* after = ReadQuotedToken(text, token);
    EXPECT_STREQ(L"a b", token.Buffer());
    EXPECT_STREQ(L" rest", after);
    ReadQuotedToken(L"x\"\"y", token);
    EXPECT_STREQ(L"x\"y", token.Buffer());
    EXPECT_EQ(nullptr, ReadQuotedToken(L"   ", token));
}
