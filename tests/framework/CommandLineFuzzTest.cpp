// Command lines and response files as anyone may write them into a shortcut: mutated from the forms the
// program knows, parsed with each text ending right before a page that may not be read, so that a read
// past the terminator faults at once instead of passing unseen.
#include "framework/CommandLineParser.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// A fixed generator, so every run parses the same texts and a failure can be replayed.
class Random {
public:
    explicit Random(unsigned seed) : state(seed) {}
    unsigned Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    unsigned Below(unsigned limit) { return Next() % limit; }

private:
    unsigned state;
};

// The text at the very end of a readable page, the next page inaccessible.
class GuardedText {
public:
    explicit GuardedText(const std::wstring& text) {
        size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        size_t readable = (bytes + 4095) / 4096 * 4096;
        base = static_cast<unsigned char*>(VirtualAlloc(nullptr, readable + 4096, MEM_COMMIT, PAGE_READWRITE));
        if (!base)
            return;
        DWORD old = 0;
        VirtualProtect(base + readable, 4096, PAGE_NOACCESS, &old);
        start = reinterpret_cast<wchar_t*>(base + readable - bytes);
        memcpy(start, text.c_str(), bytes);
    }
    ~GuardedText() {
        if (base)
            VirtualFree(base, 0, MEM_RELEASE);
    }
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;
    const wchar_t* Text() const { return start; }

private:
    unsigned char* base = nullptr;
    wchar_t* start = nullptr;
};

const wchar_t* const Pieces[] = {
    L"-s",
    L"/E",
    L"-p",
    L"-o2",
    L"-o 0x1F",
    L"-o -7",
    L"-O99999999999999999999",
    L"-r \"C:\\Program Files\\x\"",
    L"-r \"\"",
    L"-r",
    L"\"",
    L"\"\"",
    L"\"\"\"",
    L" ",
    L"\t",
    L"-",
    L"/",
    L"@",
    L"@\"",
    L"-rr",
    L"-s-s",
    L"\U0001F600",
    L"\xD83D",
    L"\xDE00",
    L"\x00C4rger",
    L"\\",
    L"\\\\?\\C:\\",
    L"-o\"3\"",
    L"=",
    L",",
};

std::wstring Mutate(Random& random, std::wstring text, const std::vector<std::wstring>& files) {
    int steps = 1 + (int)random.Below(6);
    for (int i = 0; i < steps; i++) {
        size_t at = text.empty() ? 0 : random.Below((unsigned)text.size() + 1);
        switch (random.Below(7)) {
            case 0:
            case 1:
                text.insert(at, Pieces[random.Below(sizeof(Pieces) / sizeof(Pieces[0]))]);
                break;
            case 2:
                if (!text.empty())
                    text.erase(at, random.Below(8));
                break;
            case 3:
                // A very long option or value: past every fixed buffer of 260 characters.
                text.insert(at, std::wstring(200 + random.Below(5000), (wchar_t)(L'a' + random.Below(26))));
                break;
            case 4:
                text.insert(at, 1, (wchar_t)(1 + random.Below(0xFFFF)));
                break;
            case 5:
                if (!files.empty())
                    text.insert(at, L" @\"" + files[random.Below((unsigned)files.size())] + L"\" ");
                break;
            default:
                if (!text.empty())
                    text.insert(at, text.substr(random.Below((unsigned)text.size()), random.Below(40)));
                break;
        }
    }
    return text;
}

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes((size_t)size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

} // namespace

TEST(CommandLineFuzz, MutatedCommandLinesAndResponseFilesParseWithoutReadingPastTheText) {
    const unsigned seed = 0x5EED2024u;
    const int lines = 10000;
    Random random(seed);
    TempFolder folder{L"fuzz"};
    // Response files that name each other, rewritten as the run goes: nesting, loops and missing files.
    std::vector<std::wstring> files;
    for (int i = 0; i < 6; i++)
        files.push_back(folder.Path() + L"\\r" + std::to_wstring(i) + L".rsp");
    files.push_back(folder.Path() + L"\\missing.rsp");
    int responseFiles = 0;
    for (int i = 0; i < lines; i++) {
        if (i % 4 == 0) {
            std::wstring content = Mutate(random, L"-e\r\n-o 1\r\n", files);
            std::string bytes = random.Below(2) ? Utf8(content)
                                                : std::string(reinterpret_cast<const char*>(content.c_str()),
                                                              content.size() * sizeof(wchar_t));
            folder.Write(L"r" + std::to_wstring(random.Below(6)) + L".rsp", bytes);
            responseFiles++;
        }
        std::wstring line = Mutate(random, Pieces[random.Below(sizeof(Pieces) / sizeof(Pieces[0]))], files);
        GuardedText guarded(line);
        ASSERT_NE(nullptr, guarded.Text());
        CommandLineParser parser;
        parser.AddOption(L"p", CommandLineParser::SWITCH, 0, 0, nullptr);
        parser.AddOption(L"s", CommandLineParser::SWITCH, 0, 0, nullptr);
        parser.AddOption(L"e", CommandLineParser::SWITCH, 0, 0, nullptr);
        parser.AddOption(L"o", CommandLineParser::NUMBER, 0, 0, nullptr);
        parser.AddStringOption(L"r", CommandLineParser::TEXT, nullptr, nullptr);
        int result = parser.Parse(guarded.Text());
        ASSERT_TRUE(result == 0 || result == 1) << "line " << i;
        // Whatever was parsed is whole text: terminated where its count says.
        for (auto* option = parser.First(); option; option = parser.Next(option)) {
            ASSERT_EQ((size_t)option->text.Length(), wcslen(option->text.Buffer() ? option->text.Buffer() : L""))
                << "line " << i;
        }
        const wchar_t* root = parser.GetString(L"r");
        if (root) {
            ASSERT_LT(wcslen(root), 1u << 20);
        }
    }
    printf("[ fuzz     ] seed 0x%08X: %d command lines and %d response files parsed\n", seed, lines, responseFiles);
}
