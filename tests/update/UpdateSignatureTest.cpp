// Publisher signatures checked with the system's cryptography, against files the build signed with the
// tests' key pair (tests/update/keys, for tests only).
#include "update/UpdateSignature.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Release(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1) + L"releases\\1.11\\" + file;
}

std::wstring Signature(const wchar_t* file) {
    std::string text = TempFolder::Read(Release(file));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return std::wstring(text.begin(), text.end());
}

std::vector<BYTE> Key(const wchar_t* base64) {
    std::vector<BYTE> key;
    UpdateSignature::DecodeBase64(base64, key);
    return key;
}

} // namespace

TEST(UpdateSignature, Base64IsDecodedStrictly) {
    std::vector<BYTE> bytes;
    ASSERT_EQ(1, UpdateSignature::DecodeBase64(L"TQ==", bytes));
    EXPECT_EQ(std::vector<BYTE>({'M'}), bytes);
    ASSERT_EQ(1, UpdateSignature::DecodeBase64(L"TWE=", bytes));
    EXPECT_EQ(std::vector<BYTE>({'M', 'a'}), bytes);
    ASSERT_EQ(1, UpdateSignature::DecodeBase64(L"TWFu+/8A", bytes));
    EXPECT_EQ(std::vector<BYTE>({'M', 'a', 'n', 0xFB, 0xFF, 0x00}), bytes);
    // Padding only at the very end, no blanks or line breaks, no URL-safe alphabet.
    for (const wchar_t* junk :
         {L"", L"TWF", L"TWFu ", L"TW\nFu", L"TWF!", L"T===", L"TQ=a", L"TWFu====", L"TWE=TQ==", L"TWFu-_8A"})
        EXPECT_EQ(0, UpdateSignature::DecodeBase64(junk, bytes)) << testing::PrintToString(std::wstring(junk));
}

TEST(UpdateSignature, OnlyThePublishersSignatureOverTheExactBytesVerifies) {
    const std::vector<BYTE> key = Key(VELTRIX_TEST_PUBLIC_KEY);
    ASSERT_EQ(UpdateSignature::KeyBytes, key.size());
    const std::wstring file = Release(L"Veltrix.exe");
    const std::wstring good = Signature(L"Veltrix.exe.sig");
    EXPECT_EQ(1, UpdateSignature::VerifyFile(key, file.c_str(), good.c_str()));

    EXPECT_EQ(0, UpdateSignature::VerifyFile(key, file.c_str(), Signature(L"Veltrix.exe.other.sig").c_str()))
        << "another key's signature";
    EXPECT_EQ(0, UpdateSignature::VerifyFile(key, file.c_str(), good.substr(0, 84).c_str())) << "48 bytes";
    EXPECT_EQ(0, UpdateSignature::VerifyFile(key, file.c_str(), (good.substr(0, 86) + L"A=").c_str()))
        << "the last byte of s changed";
    EXPECT_EQ(0, UpdateSignature::VerifyFile(key, file.c_str(), (L" " + good).c_str())) << "junk in the base64";
    EXPECT_EQ(0, UpdateSignature::VerifyFile(key, file.c_str(), L"")) << "no signature";

    // The same bytes elsewhere verify; one byte changed after signing does not.
    TempFolder folder(L"veltrix-signature");
    std::string bytes = TempFolder::Read(file);
    std::wstring copy = folder.Write(L"copy.exe", bytes);
    EXPECT_EQ(1, UpdateSignature::VerifyFile(key, copy.c_str(), good.c_str()));
    bytes[bytes.size() / 2] ^= 0x01;
    std::wstring changed = folder.Write(L"changed.exe", bytes);
    EXPECT_EQ(0, UpdateSignature::VerifyFile(key, changed.c_str(), good.c_str()));
    EXPECT_EQ(0, UpdateSignature::VerifyFile(key, (folder.Path() + L"\\missing.exe").c_str(), good.c_str()));

    // A key of another curve's size, and a point that is not on the curve, verify nothing.
    std::vector<BYTE> p384(96, 0x11);
    EXPECT_EQ(0, UpdateSignature::VerifyFile(p384, file.c_str(), good.c_str()));
    std::vector<BYTE> offCurve = key;
    offCurve[63] ^= 0x01;
    EXPECT_EQ(0, UpdateSignature::VerifyFile(offCurve, file.c_str(), good.c_str()));
}
