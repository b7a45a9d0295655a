#pragma once
// Registered command-line options ("-" or "/" and a name), free arguments and response files ("@"
// and a file name, one option per line), parsed into one list and looked up by name.

#include "base/SyncList.h"
#include "base/WString.h"

#include <string>
#include <vector>

class CommandLineParser {
public:
    enum OptionType { NUMBER = 0, HEX_NUMBER = 1, SWITCH = 2, TEXT = 3, FREE_ARGUMENT = 4 };

    struct Option : public SyncListItem {
        WString name;
        WString description;
        int type = NUMBER;
        long long number = 0;
        WString text;
    };

    CommandLineParser() = default;
    ~CommandLineParser() { options.Clear(); }
    CommandLineParser(const CommandLineParser&) = delete;
    CommandLineParser& operator=(const CommandLineParser&) = delete;

    int AddOption(const wchar_t* name, int type, DWORD defaultLow, DWORD defaultHigh, const wchar_t* description);
    int AddStringOption(const wchar_t* name, int type, const wchar_t* defaultText, const wchar_t* description);
    int ParseCommandLine();
    int Parse(const wchar_t* text);
    long long GetNumber(const wchar_t* name) const;
    const wchar_t* GetString(const wchar_t* name) const;

    Option* First() const { return static_cast<Option*>(options.First()); }
    Option* Next(const Option* option) const { return static_cast<Option*>(options.Next(option)); }

private:
    // The position after the option at p (just after its prefix character), or null when no
    // registered option matches.
    const wchar_t* ParseOption(const wchar_t* p, int& result);
    const wchar_t* ParseResponseFile(const wchar_t* p, int& result, bool& stop);
    int AddFreeArgument(const WString& text);
    // A new entry appended to the list, or null when it cannot be allocated.
    Option* NewOption(const wchar_t* name, int type, const wchar_t* description);

    // Response files may name further response files, up to this depth.
    static const size_t MaxResponseNesting = 8;

    SyncList options;
    // Full paths of the response files being read, outermost first.
    std::vector<std::wstring> openFiles;
};

// Reads the token at p (leading spaces skipped) up to the first space outside double quotes; two
// double quotes in a row stand for one literal quote. The token loses a surrounding pair of quotes.
// Returns the position after the token, or null when there is none.
const wchar_t* ReadQuotedToken(const wchar_t* p, WString& token);
