#include "update/SignedAnswer.h"

#include "update/UpdateSignature.h"

#include <string.h>

int SignedAnswer::TakeComment(const std::string& bytes, size_t end, const char* prefix, std::string& text,
                              size_t* start) {
    if (end && bytes[end - 1] == '\n')
        end--;
    if (end && bytes[end - 1] == '\r')
        end--;
    const size_t prefixLength = strlen(prefix), suffixLength = 3;
    if (end < prefixLength + suffixLength || bytes.compare(end - suffixLength, suffixLength, "-->") != 0)
        return 0;
    size_t at = bytes.rfind(prefix, end - suffixLength);
    if (at == std::string::npos || at + prefixLength > end - suffixLength)
        return 0;
    text = bytes.substr(at + prefixLength, end - suffixLength - at - prefixLength);
    // One comment: a second one's start inside would mean the text reached across two.
    if (text.find("<!--") != std::string::npos || text.find("-->") != std::string::npos)
        return 0;
    *start = at;
    return 1;
}

int SignedAnswer::Verify(const WString& body, const std::vector<std::vector<BYTE>>& keys, std::string& document) {
    document.clear();
    std::string bytes;
    bytes.reserve((size_t)body.Length());
    for (int i = 0; i < body.Length(); i++) {
        wchar_t c = *body.At(i);
        if (c > 0xFF)
            return 0;
        bytes += (char)c;
    }
    size_t end = bytes.size(), start = 0;
    std::string text;
    // The last comment is for older copies; what it signs is checked by the key signatures before it.
    if (TakeComment(bytes, end, "<!--signature:", text, &start))
        end = start;
    std::vector<std::string> signatures;
    while ((int)signatures.size() < MaxKeySignatures && TakeComment(bytes, end, "<!--key-signature:", text, &start)) {
        signatures.push_back(text);
        end = start;
    }
    std::string covered = std::string(Domain) + bytes.substr(0, end);
    for (const std::string& signature : signatures) {
        size_t colon = signature.find(':');
        if (colon == std::string::npos)
            continue;
        WString base64;
        base64.AppendNarrow(signature.substr(colon + 1).c_str());
        for (const std::vector<BYTE>& key : keys) {
            std::string id;
            if (UpdateSignature::KeyId(key, id) && id == signature.substr(0, colon) &&
                UpdateSignature::VerifyBytes(key, covered.data(), covered.size(), base64)) {
                document = bytes.substr(0, end);
                return 1;
            }
        }
    }
    return 0;
}
