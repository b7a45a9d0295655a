#include "update/UpdateSignature.h"

#include "base/FileObject.h"
#include "base/Library.h"

#include <bcrypt.h>

namespace {

typedef decltype(&BCryptOpenAlgorithmProvider) OpenProviderFn;
typedef decltype(&BCryptCloseAlgorithmProvider) CloseProviderFn;
typedef decltype(&BCryptCreateHash) CreateHashFn;
typedef decltype(&BCryptHashData) HashDataFn;
typedef decltype(&BCryptFinishHash) FinishHashFn;
typedef decltype(&BCryptDestroyHash) DestroyHashFn;
typedef decltype(&BCryptImportKeyPair) ImportKeyPairFn;
typedef decltype(&BCryptDestroyKey) DestroyKeyFn;
typedef decltype(&BCryptVerifySignature) VerifySignatureFn;

// The entry points of bcrypt.dll this check uses; all or nothing.
struct Cng {
    Library library;
    OpenProviderFn OpenProvider = nullptr;
    CloseProviderFn CloseProvider = nullptr;
    CreateHashFn CreateHash = nullptr;
    HashDataFn HashData = nullptr;
    FinishHashFn FinishHash = nullptr;
    DestroyHashFn DestroyHash = nullptr;
    ImportKeyPairFn ImportKeyPair = nullptr;
    DestroyKeyFn DestroyKey = nullptr;
    VerifySignatureFn VerifySignature = nullptr;

    int Load() {
        if (!library.Load(L"bcrypt.dll"))
            return 0;
        OpenProvider = library.Get<OpenProviderFn>("BCryptOpenAlgorithmProvider");
        CloseProvider = library.Get<CloseProviderFn>("BCryptCloseAlgorithmProvider");
        CreateHash = library.Get<CreateHashFn>("BCryptCreateHash");
        HashData = library.Get<HashDataFn>("BCryptHashData");
        FinishHash = library.Get<FinishHashFn>("BCryptFinishHash");
        DestroyHash = library.Get<DestroyHashFn>("BCryptDestroyHash");
        ImportKeyPair = library.Get<ImportKeyPairFn>("BCryptImportKeyPair");
        DestroyKey = library.Get<DestroyKeyFn>("BCryptDestroyKey");
        VerifySignature = library.Get<VerifySignatureFn>("BCryptVerifySignature");
        return OpenProvider && CloseProvider && CreateHash && HashData && FinishHash && DestroyHash && ImportKeyPair &&
               DestroyKey && VerifySignature;
    }
};

// bcrypt.dll, loaded at the first check and kept for the process's life: a check verifies and hashes
// several times, and loading the library each time cost more than the cryptography under Wine.
const Cng* LoadedCng() {
    static Cng cng;
    static const int loaded = cng.Load();
    return loaded ? &cng : nullptr;
}

// An open algorithm provider, closed with the object.
class Provider {
public:
    Provider(const Cng& cng, const wchar_t* algorithm) : cng(cng) {
        if (!BCRYPT_SUCCESS(cng.OpenProvider(&handle, algorithm, nullptr, 0)))
            handle = nullptr;
    }
    ~Provider() {
        if (handle)
            cng.CloseProvider(handle, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    BCRYPT_ALG_HANDLE Handle() const { return handle; }

private:
    const Cng& cng;
    BCRYPT_ALG_HANDLE handle = nullptr;
};

// The SHA-256 hash of a file's bytes as they are read now.
int HashFile(const Cng& cng, const wchar_t* path, BYTE (&hash)[32], unsigned long long* size = nullptr) {
    Provider sha(cng, BCRYPT_SHA256_ALGORITHM);
    FileObject file;
    if (!sha.Handle() || !file.Open(path, FileObject::READ, 0, FILE_SHARE_READ))
        return 0;
    BCRYPT_HASH_HANDLE state = nullptr;
    if (!BCRYPT_SUCCESS(cng.CreateHash(sha.Handle(), &state, nullptr, 0, nullptr, 0, 0)))
        return 0;
    int ok = 1;
    std::vector<BYTE> buffer(65536);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Handle(), buffer.data(), (DWORD)buffer.size(), &read, nullptr)) {
            ok = 0;
            break;
        }
        if (read == 0)
            break;
        if (size)
            *size += read;
        if (!BCRYPT_SUCCESS(cng.HashData(state, buffer.data(), read, 0))) {
            ok = 0;
            break;
        }
    }
    ok = ok && BCRYPT_SUCCESS(cng.FinishHash(state, hash, sizeof(hash), 0));
    cng.DestroyHash(state);
    return ok;
}

int Sextet(wchar_t c) {
    if (c >= L'A' && c <= L'Z')
        return c - L'A';
    if (c >= L'a' && c <= L'z')
        return c - L'a' + 26;
    if (c >= L'0' && c <= L'9')
        return c - L'0' + 52;
    if (c == L'+')
        return 62;
    if (c == L'/')
        return 63;
    return -1;
}

} // namespace

int UpdateSignature::DecodeBase64(const wchar_t* text, std::vector<BYTE>& bytes) {
    bytes.clear();
    size_t length = text ? wcslen(text) : 0;
    if (length == 0 || length % 4 != 0)
        return 0;
    for (size_t i = 0; i < length; i += 4) {
        int values[4];
        int padding = 0;
        for (int j = 0; j < 4; j++) {
            wchar_t c = text[i + j];
            // Padding only in the last group, only at its end, at most two.
            if (c == L'=' && i + 4 == length && j >= 2 && (j == 3 || text[i + 3] == L'=')) {
                values[j] = 0;
                padding++;
                continue;
            }
            values[j] = Sextet(c);
            if (values[j] < 0 || padding)
                return 0;
        }
        unsigned group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
        // Canonical text only: bits beyond the last byte must be zero, so that no two texts give one
        // signature (an altered answer would otherwise still read as signed).
        if ((padding == 2 && (group & 0xFFFF)) || (padding == 1 && (group & 0xFF)))
            return 0;
        bytes.push_back((BYTE)(group >> 16));
        if (padding < 2)
            bytes.push_back((BYTE)(group >> 8));
        if (padding < 1)
            bytes.push_back((BYTE)group);
    }
    return 1;
}

namespace {

int HashBytes(const Cng& cng, const void* data, size_t size, BYTE (&hash)[32]) {
    Provider sha(cng, BCRYPT_SHA256_ALGORITHM);
    BCRYPT_HASH_HANDLE state = nullptr;
    if (!sha.Handle() || size > 0xFFFFFFFFu ||
        !BCRYPT_SUCCESS(cng.CreateHash(sha.Handle(), &state, nullptr, 0, nullptr, 0, 0)))
        return 0;
    int ok = BCRYPT_SUCCESS(cng.HashData(state, (PUCHAR) const_cast<void*>(data), (ULONG)size, 0)) &&
             BCRYPT_SUCCESS(cng.FinishHash(state, hash, sizeof(hash), 0));
    cng.DestroyHash(state);
    return ok;
}

int VerifyHash(const Cng& cng, const std::vector<BYTE>& publicKey, BYTE (&hash)[32], const std::vector<BYTE>& rs);

} // namespace

int UpdateSignature::HashFile(const wchar_t* path, wchar_t (&hex)[65], unsigned long long* size) {
    hex[0] = 0;
    const Cng* cng = LoadedCng();
    BYTE hash[32];
    unsigned long long bytes = 0;
    if (!cng || !::HashFile(*cng, path, hash, &bytes))
        return 0;
    for (int i = 0; i < 32; i++) {
        hex[2 * i] = L"0123456789abcdef"[hash[i] >> 4];
        hex[2 * i + 1] = L"0123456789abcdef"[hash[i] & 15];
    }
    hex[64] = 0;
    if (size)
        *size = bytes;
    return 1;
}

int UpdateSignature::VerifyBytes(const std::vector<BYTE>& publicKey, const void* data, size_t size,
                                 const wchar_t* signature) {
    std::vector<BYTE> rs;
    if (publicKey.size() != KeyBytes || !DecodeBase64(signature, rs) || rs.size() != SignatureBytes)
        return 0;
    const Cng* cng = LoadedCng();
    BYTE hash[32];
    return cng && HashBytes(*cng, data, size, hash) && VerifyHash(*cng, publicKey, hash, rs);
}

int UpdateSignature::KeyId(const std::vector<BYTE>& publicKey, std::string& id) {
    id.clear();
    const Cng* cng = LoadedCng();
    BYTE hash[32];
    if (publicKey.size() != KeyBytes || !cng || !HashBytes(*cng, publicKey.data(), publicKey.size(), hash))
        return 0;
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 8; i++) {
        id += digits[hash[i] >> 4];
        id += digits[hash[i] & 15];
    }
    return 1;
}

int UpdateSignature::VerifyFile(const std::vector<BYTE>& publicKey, const wchar_t* path, const wchar_t* signature) {
    std::vector<BYTE> rs;
    if (publicKey.size() != KeyBytes || !DecodeBase64(signature, rs) || rs.size() != SignatureBytes)
        return 0;
    const Cng* cng = LoadedCng();
    if (!cng)
        return 0;
    BYTE hash[32];
    if (!::HashFile(*cng, path, hash))
        return 0;
    return VerifyHash(*cng, publicKey, hash, rs);
}

namespace {

int VerifyHash(const Cng& cng, const std::vector<BYTE>& publicKey, BYTE (&hash)[32], const std::vector<BYTE>& rs) {
    Provider ecdsa(cng, BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa.Handle())
        return 0;
    // The public blob: its header, then X and Y.
    std::vector<BYTE> blob(sizeof(BCRYPT_ECCKEY_BLOB) + UpdateSignature::KeyBytes);
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, UpdateSignature::KeyBytes / 2};
    memcpy(blob.data(), &header, sizeof(header));
    memcpy(blob.data() + sizeof(header), publicKey.data(), UpdateSignature::KeyBytes);
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!BCRYPT_SUCCESS(cng.ImportKeyPair(ecdsa.Handle(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                                          (ULONG)blob.size(), 0)))
        return 0;
    NTSTATUS status =
        cng.VerifySignature(key, nullptr, hash, sizeof(hash), const_cast<BYTE*>(rs.data()), (ULONG)rs.size(), 0);
    cng.DestroyKey(key);
    return BCRYPT_SUCCESS(status) ? 1 : 0;
}

} // namespace
