#pragma once
// An update answer: what the update server offers, read and checked before anything is asked or
// downloaded.

#include "base/WString.h"

#include <windows.h>

#include <vector>

class XmlFile;

// One file of an update answer: where it comes from, and what it becomes in the program folder.
struct UpdateFile {
    WString url;
    WString name;      // relative to the program folder; empty: a stand-alone installer
    WString zip;       // archive downloaded instead and unpacked into the program folder
    WString signature; // the publisher's signature over the downloaded bytes (base64), for older copies
    unsigned long long size = 0;
    int hasSize = 0; // the answer gives the size, which the download must have exactly
    WString sha256;  // 64 hexadecimal digits the download's SHA-256 must equal; empty: not given
};

class UpdateAnswer {
public:
    // The most one file of an update may have (the release is a few megabytes), and the most files.
    static const unsigned long long MaxFileBytes = 128ull << 20;
    static const size_t MaxFiles = 64;
    // The product an answer must be for.
    static constexpr const wchar_t* Product = L"veltrix";
    // The longest an answer may be valid after it was signed: what the publisher's tool signs for.
    static const unsigned long long MaxLife = 90ull * 86400;

    // Reads and checks an answer body (one character per byte): 1 when it offers a well-formed update
    // whose files all stay inside the program folder and are none the program loads or reads. With the
    // publisher's keys, one of them must have signed the answer (see SignedAnswer), or nothing of it is
    // read; it must then also be for this product, not expired at `now` (seconds since 1970) and give
    // every file's size and SHA-256. The answer's architecture is read, not judged: the check refuses one
    // that is not this build's.
    static int Read(const WString& body, UpdateAnswer& answer, const std::vector<std::vector<BYTE>>* keys = nullptr,
                    unsigned long long now = 0);
    // 1 when (major, minor) is later than the running version, major first.
    static int IsNewer(unsigned major, unsigned minor, unsigned runningMajor, unsigned runningMinor);
    // "%u.%u" and nothing else; 1 on success.
    static int ParseVersion(const wchar_t* text, unsigned* major, unsigned* minor);

    WString application;
    WString info;
    WString restart;
    int hasRestart = 0;
    WString help;
    WString version;
    unsigned major = 0;
    unsigned minor = 0;
    std::vector<UpdateFile> files;
    WString execute;
    WString product;
    unsigned long long expires = 0; // seconds since 1970; 0: not given
    // When it was signed (seconds since 1970); for an answer that gives no time, its expiry less the
    // longest life an answer may have; 0 for one that gives neither.
    unsigned long long issued = 0;
    WString architecture; // the build the files are for (BuildArchitecture); none given: "x86"
    int isSigned = 0;     // the publisher's signature over the whole answer held

private:
    // The text under the key in the user's language, else in English; UTF-8 decoded.
    static int LocalizedText(XmlFile& xml, const wchar_t* key, WString& text);
    // A time in seconds since 1970 under the key: 1 read, 0 none given, -1 not a number.
    static int ReadSeconds(XmlFile& xml, const wchar_t* key, unsigned long long* seconds);
};
