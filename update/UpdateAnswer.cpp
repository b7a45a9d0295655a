#include "update/UpdateAnswer.h"

#include "base/XmlFile.h"
#include "update/ContainedPath.h"
#include "update/SignedAnswer.h"
#include "update/UpdateNames.h"

#include <string>
#include <wctype.h>

namespace {

int CollectFile(int kind, IUnknown* node, const WString& name, const WString& text, void* argument, XmlFile* owner) {
    if (kind != 0 || name.CompareNoCase(L"url") != 0)
        return 0;
    UpdateFile file;
    file.url = text;
    file.url.TrimRight();
    file.url.TrimLeft();
    owner->GetValue(L"name", file.name, node);
    owner->GetValue(L"zip", file.zip, node);
    owner->GetValue(L"signature", file.signature, node);
    WString size;
    if (owner->GetValue(L"size", size, node)) {
        // Decimal digits and nothing else; a file larger than any release is refused like a broken one.
        file.hasSize = size.Length() > 0 && size.Length() <= 12;
        for (int i = 0; file.hasSize && i < size.Length(); i++) {
            wchar_t c = *size.At(i);
            file.hasSize = c >= L'0' && c <= L'9';
            file.size = file.size * 10 + (c - L'0');
        }
        if (!file.hasSize || file.size > UpdateAnswer::MaxFileBytes) {
            file.hasSize = 0;
            file.size = ~0ull;
        }
    }
    owner->GetValue(L"sha256", file.sha256, node);
    static_cast<std::vector<UpdateFile>*>(argument)->push_back(file);
    // Past the most files an update has, the walk stops; the answer is refused for it.
    return static_cast<std::vector<UpdateFile>*>(argument)->size() > UpdateAnswer::MaxFiles;
}

int IsHexDigest(const WString& text) {
    if (text.Length() != 64)
        return 0;
    for (int i = 0; i < 64; i++)
        if (!iswxdigit(*text.At(i)))
            return 0;
    return 1;
}

} // namespace

int UpdateAnswer::LocalizedText(XmlFile& xml, const wchar_t* key, WString& text) {
    wchar_t language[16];
    if (!GetLocaleInfoW(MAKELCID(GetUserDefaultLangID(), SORT_DEFAULT), LOCALE_SISO639LANGNAME, language, 16))
        wcscpy(language, L"en");
    WString path;
    path.Format(L"%s\\%s", key, language);
    if (!xml.GetValue(path, text)) {
        path.Format(L"%s\\en", key);
        if (!xml.GetValue(path, text))
            return 0;
    }
    // The answer reaches the document one byte per character; the localized texts are UTF-8. A text that
    // cannot be decoded stays as it came.
    WString decoded;
    if (text.DecodeUtf8(decoded))
        text = decoded;
    return 1;
}

int UpdateAnswer::ReadSeconds(XmlFile& xml, const wchar_t* key, unsigned long long* seconds) {
    WString text;
    *seconds = 0;
    if (!xml.GetValue(key, text))
        return 0;
    // Seconds since 1970, as a number of at most twelve digits.
    int digits = text.Length() > 0 && text.Length() <= 12;
    for (int i = 0; digits && i < text.Length(); i++) {
        digits = *text.At(i) >= L'0' && *text.At(i) <= L'9';
        *seconds = *seconds * 10 + (*text.At(i) - L'0');
    }
    return digits ? 1 : -1;
}

int UpdateAnswer::Read(const WString& body, UpdateAnswer& answer, const std::vector<std::vector<BYTE>>* key,
                       unsigned long long now) {
    answer = UpdateAnswer();
    WString document;
    if (key) {
        std::string signedBytes;
        if (!SignedAnswer::Verify(body, *key, signedBytes))
            return 0;
        for (char c : signedBytes)
            document.AppendByte((unsigned char)c);
        answer.isSigned = 1;
    } else {
        document = body;
    }
    XmlFile xml;
    if (!xml.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS) || !xml.LoadXml(document))
        return 0;
    xml.GetValue(L"update\\application", answer.application);
    if (!LocalizedText(xml, L"update\\info", answer.info))
        return 0;
    xml.GetValue(L"update\\help", answer.help);
    if (!xml.GetValue(L"update\\version", answer.version) ||
        !ParseVersion(answer.version, &answer.major, &answer.minor))
        return 0;
    // A signed answer is for one product and for a time: an old one, replayed, is refused once it expired.
    int hasProduct = xml.GetValue(L"update\\product", answer.product);
    if ((hasProduct || key) && answer.product.Compare(Product) != 0)
        return 0;
    int hasExpiry = ReadSeconds(xml, L"update\\expires", &answer.expires);
    if ((hasExpiry || key) && (hasExpiry != 1 || answer.expires <= now))
        return 0;
    // When it was signed; an answer from before issue times were given was signed for at most as long as
    // one is valid now. A longer life than that is refused: a stolen answer must not outlive it.
    int hasIssue = ReadSeconds(xml, L"update\\issued", &answer.issued);
    if (hasIssue == -1 || (hasIssue && hasExpiry && answer.expires > answer.issued + MaxLife))
        return 0;
    if (!hasIssue && hasExpiry)
        answer.issued = answer.expires > MaxLife ? answer.expires - MaxLife : 0;
    // Inside what the signature covers, so that no one between can relabel an answer. Every answer from
    // before the 64-bit build names none and is for 32-bit.
    if (!xml.GetValue(L"update\\arch", answer.architecture))
        answer.architecture.Assign(L"x86");
    answer.hasRestart = LocalizedText(xml, L"update\\restart", answer.restart);
    xml.GetValue(L"update\\files\\execute", answer.execute);
    xml.Enumerate(L"update\\files", CollectFile, &answer.files);
    if (answer.files.size() > MaxFiles)
        return 0;
    // Every name comes from the network: one that leaves the program folder, or names a file the program
    // loads or reads, refuses the whole answer, before anything is asked, downloaded or moved.
    std::vector<WString> names;
    for (const UpdateFile& file : answer.files) {
        if (file.url.IsEmpty() || (file.hasSize == 0 && file.size) ||
            (!file.sha256.IsEmpty() && !IsHexDigest(file.sha256)))
            return 0;
        // Signed, every file is bound to its exact size and bytes.
        if (key && (!file.hasSize || file.sha256.IsEmpty()))
            return 0;
        if (file.name.IsEmpty()) {
            WString installer;
            UpdateNames::InstallerName(file.url, installer);
            if (!IsPlainFileName(installer) || !UpdateNames::IsUpdatable(installer))
                return 0;
            continue;
        }
        if (!UpdateNames::IsUpdatable(file.name) || (!file.zip.IsEmpty() && !UpdateNames::IsUpdatable(file.zip)))
            return 0;
        WString name;
        UpdateNames::Normalized(file.name, name);
        for (const WString& known : names)
            if (known.Compare(name) == 0)
                return 0;
        names.push_back(name);
    }
    // What is started after the update is one of the files it installed, never another program that
    // happens to lie in the folder.
    if (!answer.execute.IsEmpty()) {
        WString execute;
        UpdateNames::Normalized(answer.execute, execute);
        int listed = 0;
        for (const WString& known : names)
            listed |= known.Compare(execute) == 0;
        if (!listed || !IsContainedName(answer.execute))
            return 0;
    }
    return 1;
}

int UpdateAnswer::IsNewer(unsigned major, unsigned minor, unsigned runningMajor, unsigned runningMinor) {
    return major > runningMajor || (major == runningMajor && minor > runningMinor);
}

int UpdateAnswer::ParseVersion(const wchar_t* text, unsigned* major, unsigned* minor) {
    unsigned parts[2] = {0, 0};
    const wchar_t* p = text;
    for (int part = 0; part < 2; part++) {
        int digits = 0;
        for (; *p >= L'0' && *p <= L'9'; p++, digits++) {
            if (digits == 9)
                return 0;
            parts[part] = parts[part] * 10 + (*p - L'0');
        }
        if (digits == 0 || (part == 0 && *p++ != L'.'))
            return 0;
    }
    if (*p)
        return 0;
    *major = parts[0];
    *minor = parts[1];
    return 1;
}
