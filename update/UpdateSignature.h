#pragma once
// Checks that an update file is what its publisher signed: an ECDSA signature on the P-256 curve over
// the SHA-256 hash of the file's exact bytes, verified with the system's own cryptography (CNG,
// bcrypt.dll, loaded when a check needs it; present since Vista).

#include <windows.h>

#include <string>
#include <vector>

class UpdateSignature {
public:
    // A public key is the curve point X then Y, 32 bytes each, big-endian; a signature is r then s.
    static constexpr DWORD KeyBytes = 64;
    static constexpr DWORD SignatureBytes = 64;

    // Strict base64 (the standard alphabet, "=" padding to a multiple of four, nothing else: no blanks,
    // no line breaks); 1 with the bytes on success.
    static int DecodeBase64(const wchar_t* text, std::vector<BYTE>& bytes);

    // 1 when `signature` (base64) is the publisher's signature, by `publicKey`, over the file's bytes.
    // Every other case (no such file, a key or signature of the wrong length, bcrypt missing) is 0.
    static int VerifyFile(const std::vector<BYTE>& publicKey, const wchar_t* path, const wchar_t* signature);
    // The same over bytes in memory (a whole update answer as it arrived).
    static int VerifyBytes(const std::vector<BYTE>& publicKey, const void* data, size_t size, const wchar_t* signature);
    // The id an answer names a key by: the first eight bytes of the SHA-256 of X and Y, in lower-case
    // hexadecimal; 0 for a key of the wrong length.
    static int KeyId(const std::vector<BYTE>& publicKey, std::string& id);
    // The SHA-256 of a file's bytes as 64 lower-case hexadecimal digits, and its size; 0 when it cannot be
    // read.
    static int HashFile(const wchar_t* path, wchar_t (&hex)[65], unsigned long long* size);
};
