#pragma once
// An update answer as the publisher signs it: the document, then one comment per signing key,
// "<!--key-signature:ID:BASE64-->", each over Domain followed by the document, and last a comment
// "<!--signature:BASE64-->" over everything before it, which copies from before key ids check and this
// one ignores. ID names the key: the first eight bytes of the SHA-256 of its X and Y, in hexadecimal.
// Two key signatures let the publisher change keys: answers signed by the old and the new key are read
// by builds holding either.

#include "base/WString.h"

#include <windows.h>

#include <string>
#include <vector>

class SignedAnswer {
public:
    // What a key signature covers before the document: no other bytes the publisher signs (a file's)
    // begin with it, so none can pass for an answer.
    static constexpr const char* Domain = "Veltrix update answer 1\n";
    static const int MaxKeySignatures = 2;

    // 1 when one of the keys signed the answer (one character per byte, as it arrived); the document's
    // bytes are then in `document`. An answer without a key signature is refused whatever else it holds.
    static int Verify(const WString& body, const std::vector<std::vector<BYTE>>& keys, std::string& document);

private:
    // The comment that ends at `end` (line breaks after it aside) if it starts with `prefix`: its text
    // and where it starts; 0 when there is none.
    static int TakeComment(const std::string& bytes, size_t end, const char* prefix, std::string& text, size_t* start);
};
