#include "base/ComApartment.h"
#include "base/ComPtr.h"
#include "base/LegacyXmlDocument.h"
#include "base/WString.h"
#include "base/WStringStream.h"
#include "base/XmlFile.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const Answer = L"<?xml version=\"1.0\" encoding=\"x-no-such-charset\"?>\r\n"
                              L"<Update Version=\"7\" encoding=\"kept\"><version>element</version>"
                              L"<files count=\"3\"><file>a.exe</file><!-- note --></files></Update>";

std::wstring Text(const WString& s) {
    return s.Buffer() ? std::wstring(s.Buffer()) : std::wstring();
}

std::wstring Value(XmlDocument& doc, const wchar_t* path, IUnknown* start = nullptr) {
    WString out = L"stale";
    int found = doc.GetValue(path, out, start);
    EXPECT_TRUE(found || out.IsEmpty()) << path;
    return found ? Text(out) : L"<missing>";
}

struct Seen {
    std::vector<std::wstring> items;
    std::wstring stopAt;
};

int Record(int kind, IUnknown* node, const WString& name, const WString& text, void* argument, XmlFile*) {
    Seen* seen = static_cast<Seen*>(argument);
    EXPECT_NE(nullptr, node);
    seen->items.push_back((kind == 1 ? L"@" : L"") + Text(name) + L"=" + Text(text));
    return !seen->stopAt.empty() && Text(name) == seen->stopAt ? 1 : 0;
}

// The reading rules both parsers share, on a document of the update server's kind.
void ExpectPathRules(XmlDocument& doc) {
    // Root of another case; an attribute wins over the element of the same name.
    EXPECT_EQ(L"7", Value(doc, L"update\\version"));
    EXPECT_EQ(L"3", Value(doc, L"UPDATE\\Files\\COUNT"));
    EXPECT_EQ(L"a.exe", Value(doc, L"update\\\\files\\file\\"));
    // A first step that is not the root fails with an empty result, and so does a missing step.
    EXPECT_EQ(L"<missing>", Value(doc, L"files\\count"));
    EXPECT_EQ(L"<missing>", Value(doc, L"update\\files\\size"));
    EXPECT_EQ(L"<missing>", Value(doc, L""));
}

} // namespace

TEST(XmlFile, ReadsPathsAndLoadsWhatTheParserRefusesAtFirst) {
    XmlFile xml;
    WString out;
    EXPECT_EQ(0, xml.LoadXml(Answer));
    EXPECT_EQ(7, xml.GetNumber(L"update\\version", 7));
    ASSERT_EQ(1, xml.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS));
    ASSERT_NE(nullptr, dynamic_cast<DomXmlDocument*>(xml.Active()));

    // The unknown encoding is dropped from the declaration only; the root's attribute of that name stays.
    ASSERT_EQ(1, xml.LoadXml(Answer));
    ASSERT_EQ(1, xml.GetXml(out));
    EXPECT_EQ(nullptr, out.Find(L"x-no-such-charset"));
    ExpectPathRules(*xml.Active());
    EXPECT_EQ(L"kept", Value(*xml.Active(), L"update\\encoding"));
    EXPECT_EQ(3, xml.GetNumber(L"update\\files\\count", 9));
    EXPECT_EQ(9, xml.GetNumber(L"update\\files\\size", 9));
    EXPECT_EQ(9, xml.GetNumber(L"update\\files\\file", 9));

    // Single quotes; UTF-16 text with characters no single-byte code page holds, without a declaration.
    EXPECT_EQ(1, xml.LoadXml(L"<?xml version='1.0' encoding='bogus'?><r a='1'/>"));
    EXPECT_EQ(L"1", Value(*xml.Active(), L"r\\a"));
    EXPECT_EQ(1, xml.LoadXml(L"<r name='\x3a9\x43c\x3b3\x30c6'>\x436</r>"));
    EXPECT_EQ(L"\x3a9\x43c\x3b3\x30c6", Value(*xml.Active(), L"r\\name"));
    EXPECT_EQ(L"\x436", Value(*xml.Active(), L"r\\#text"));
    // A declaration whose quote never closes, or that never ends, fails cleanly.
    EXPECT_EQ(0, xml.LoadXml(L"<?xml version=\"1.0\" encoding=\"bogus?><r/>"));
    EXPECT_EQ(0, xml.LoadXml(L"<?xml version=\"1.0\" encoding=\"bogus\""));
    EXPECT_EQ(L"<missing>", Value(*xml.Active(), L"r\\name"));
    xml.Close();
    EXPECT_EQ(0, xml.GetValue(L"r", out));
}

TEST(XmlFile, BuildsSavesAndReloadsSettingsThroughARealFile) {
    TempFolder folder(L"xml");
    // A name outside every single-byte code page: the path reaches the parser as it is.
    WString path((folder.Path() + L"\\settings-\x3a9\x30c6.xml").c_str());
    {
        XmlFile xml;
        ASSERT_EQ(1, xml.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS));
        ASSERT_EQ(1, xml.AddProcessingInstruction(L"xml", L"version=\"1.0\" encoding=\"utf-8\""));
        ComPtr<IUnknown> window(xml.EnsurePath(L"Settings\\Window"));
        ASSERT_TRUE(window);
        EXPECT_EQ(1, xml.SetAttribute(window.Get(), L"Left", L"10"));
        // Reads ignore case, so a write of another case replaces the value they find.
        EXPECT_EQ(1, xml.SetAttribute(window.Get(), L"LEFT", L"20"));
        EXPECT_EQ(1, xml.SetAttribute(window.Get(), L"Title", L"\x3a9mega \x30c6"));
        ComPtr<IUnknown> again(xml.EnsurePath(L"settings\\window"));
        ComPtr<IUnknown> recent(xml.EnsurePath(L"settings\\recent"));
        ASSERT_TRUE(again && recent);
        EXPECT_EQ(1, xml.CreateElement(recent.Get(), L"item", L"one", nullptr));
        EXPECT_EQ(1, xml.CreateElement(recent.Get(), L"item", L"two", nullptr));
        // A path under another root is not grafted below this one.
        EXPECT_EQ(nullptr, xml.EnsurePath(L"Other\\Window"));
        WString markup;
        ASSERT_EQ(1, xml.GetXml(markup));
        EXPECT_EQ(1u, std::wstring(markup.Buffer()).find(L"?xml"));
        EXPECT_EQ(markup.IndexOf(L'W'), markup.LastIndexOf(L'W')) << Text(markup);
        EXPECT_EQ(1, xml.SaveFile(path));
    }
    XmlFile xml;
    ASSERT_EQ(1, xml.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS));
    EXPECT_EQ(0, xml.LoadFile((folder.Path() + L"\\missing.xml").c_str()));
    ASSERT_EQ(1, xml.LoadFile(path));
    EXPECT_EQ(20, xml.GetNumber(L"settings\\window\\left", 0));
    EXPECT_EQ(L"\x3a9mega \x30c6", Value(*xml.Active(), L"settings\\window\\title"));

    // Attributes first, then every child in document order, text and comments included; a 1 stops it.
    Seen seen;
    ASSERT_EQ(1, xml.LoadXml(L"<r b='2' a='1'><z>last</z><y/>text<!--c--></r>"));
    EXPECT_EQ(0, xml.Enumerate(L"r", Record, &seen));
    EXPECT_EQ((std::vector<std::wstring>{L"@b=2", L"@a=1", L"z=last", L"y=", L"#text=text", L"#comment=c"}),
              seen.items);
    seen = Seen{{}, L"z"};
    EXPECT_EQ(1, xml.Enumerate(L"r", Record, &seen));
    EXPECT_EQ(3u, seen.items.size());
    seen = Seen{};
    EXPECT_EQ(0, xml.Enumerate(L"r\\nothing", Record, &seen));
    EXPECT_TRUE(seen.items.empty());

    ComPtr<IUnknown> root(xml.EnsurePath(L"r"));
    ComPtr<IUnknown> z(xml.EnsurePath(L"r\\z"));
    ASSERT_TRUE(root && z);
    EXPECT_EQ(1, xml.RemoveChild(root.Get(), z.Get()));
    EXPECT_EQ(0, xml.RemoveChild(root.Get(), z.Get()));
    EXPECT_EQ(L"<missing>", Value(*xml.Active(), L"r\\z"));
    // A node of the other parser is refused, not taken for one of this parser's.
    LegacyXmlDocument legacy;
    ASSERT_EQ(1, legacy.Create(0));
    ComPtr<IUnknown> foreign;
    ASSERT_EQ(1, legacy.CreateElement(nullptr, L"x", nullptr, foreign.Out()));
    EXPECT_EQ(0, xml.SetAttribute(foreign.Get(), L"a", L"1"));
    EXPECT_EQ(0, xml.CreateElement(foreign.Get(), L"b", nullptr, nullptr));
}

TEST(LegacyXmlDocument, ReadsWritesAndForgetsAFailedLoad) {
    TempFolder folder(L"legacyxml");
    ComApartment com;
    com.Init(ComApartment::SINGLE_THREADED);
    LegacyXmlDocument doc;
    ASSERT_EQ(1, doc.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS));
    ASSERT_EQ(1, doc.LoadXml(Answer));
    ExpectPathRules(doc);
    WString out;
    EXPECT_EQ(0, doc.GetNodeXml(nullptr, out));
    // A failed load leaves no trace of the document before it.
    EXPECT_EQ(0, doc.LoadXml(L"<update version='8'><broken></update>"));
    EXPECT_EQ(L"<missing>", Value(doc, L"update\\version"));
    EXPECT_EQ(0, doc.LoadXml(L""));

    // A name carrying markup of its own does not become a root with attributes.
    EXPECT_EQ(0, doc.CreateElement(nullptr, L"a x='1'", nullptr, nullptr));
    ASSERT_EQ(1, doc.AddProcessingInstruction(L"xml", L"version=\"1.0\""));
    {
        ComPtr<IUnknown> root;
        ASSERT_EQ(1, doc.CreateElement(nullptr, L"Settings", L"top", root.Out()));
        EXPECT_EQ(0, doc.CreateElement(nullptr, L"Second", nullptr, nullptr));
        EXPECT_EQ(L"top", Value(doc, L"settings"));
        // Wine's object model cannot name a new element: then nothing nameless is added either.
        ComPtr<IUnknown> added;
        if (doc.CreateElement(root.Get(), L"added", L"new", added.Out())) {
            EXPECT_EQ(L"new", Value(doc, L"settings\\added"));
        } else {
            Seen seen;
            EXPECT_EQ(0, doc.Enumerate(L"settings", Record, &seen, nullptr));
            EXPECT_EQ(1u, seen.items.size());
        }
    }

    ASSERT_EQ(1, doc.LoadXml(L"<settings><item>first</item><other>second</other></settings>"));
    IUnknown* item = nullptr;
    ASSERT_EQ(1, doc.FindChild(L"SETTINGS", nullptr, nullptr, out, &item));
    IUnknown* root = item;
    root->AddRef();
    ASSERT_EQ(1, doc.FindChild(L"item", nullptr, nullptr, out, &item));
    EXPECT_EQ(L"first", Text(out));
    EXPECT_EQ(1, doc.SetAttribute(item, L"size", L"12"));
    EXPECT_EQ(L"12", Value(doc, L"settings\\item\\size"));
    EXPECT_EQ(1, doc.SetText(item, L"changed"));
    EXPECT_EQ(L"changed", Value(doc, L"settings\\item\\#text"));
    Seen seen;
    EXPECT_EQ(0, doc.Enumerate(L"settings", Record, &seen, nullptr));
    ASSERT_EQ(2u, seen.items.size());
    EXPECT_EQ(0, _wcsicmp(L"item=changed", seen.items[0].c_str()));
    EXPECT_EQ(0, _wcsicmp(L"other=second", seen.items[1].c_str()));

    // The object model may not know how to save (Wine's does not): then the file keeps what it had.
    std::wstring file = folder.Write(L"kept.xml", "<old/>");
    if (doc.SaveFile(file.c_str())) {
        LegacyXmlDocument reread;
        ASSERT_EQ(1, reread.Create(0));
        ASSERT_EQ(1, reread.LoadFile(file.c_str()));
        EXPECT_EQ(L"12", Value(reread, L"settings\\item\\size"));
    } else {
        XmlFile check;
        ASSERT_EQ(1, check.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS));
        ASSERT_EQ(1, check.LoadFile(file.c_str()));
        EXPECT_EQ(L"", Value(*check.Active(), L"old"));
    }
    EXPECT_EQ(1, doc.RemoveChild(root, item));
    EXPECT_EQ(L"<missing>", Value(doc, L"settings\\item"));
    EXPECT_EQ(L"second", Value(doc, L"settings\\other"));
    EXPECT_EQ(1, doc.RemoveChild(nullptr, root));
    EXPECT_EQ(L"<missing>", Value(doc, L"settings"));
    EXPECT_EQ(0, doc.GetXml(out));
    item->Release();
    root->Release();
    ASSERT_EQ(1, doc.LoadFile(folder.Write(L"plain.xml", "<a><b c='d'/></a>").c_str()));
    EXPECT_EQ(L"d", Value(doc, L"a\\b\\c"));
    EXPECT_EQ(0, doc.LoadFile((folder.Path() + L"\\missing.xml").c_str()));
    EXPECT_EQ(L"<missing>", Value(doc, L"a"));
}

TEST(WStringStream, CarriesTextInAndOut) {
    WString text = L"<a>\x3a9</a>";
    ComPtr<WStringStream> stream(WStringStream::Create(&text));
    ASSERT_TRUE(stream);
    EXPECT_EQ(2u + 2u * 8u, stream->Size());
    WString back;
    ASSERT_EQ(1, stream->GetText(back));
    EXPECT_EQ(Text(text), Text(back));

    char buffer[8] = {};
    ULONG read = 0;
    LARGE_INTEGER move;
    move.QuadPart = -4;
    ULARGE_INTEGER position;
    ASSERT_EQ(S_OK, stream->Seek(move, STREAM_SEEK_END, &position));
    EXPECT_EQ(14u, position.QuadPart);
    EXPECT_EQ(S_FALSE, stream->Read(buffer, sizeof(buffer), &read));
    EXPECT_EQ(4u, read);
    move.QuadPart = -1;
    EXPECT_NE(S_OK, stream->Seek(move, STREAM_SEEK_SET, &position));

    // Written bytes: UTF-8 with or without its mark; anything else through the ANSI code page.
    ComPtr<WStringStream> bytes(WStringStream::CreateFromBytes("\xEF\xBB\xBF<a>\xCE\xA9</a>", 12));
    ASSERT_EQ(1, bytes->GetText(back));
    EXPECT_EQ(L"<a>\x3a9</a>", Text(back));
    ULARGE_INTEGER size;
    size.QuadPart = 3;
    ASSERT_EQ(S_OK, bytes->SetSize(size));
    move.QuadPart = 0;
    bytes->Seek(move, STREAM_SEEK_END, nullptr);
    ULONG written = 0;
    ASSERT_EQ(S_OK, bytes->Write("a\xE9", 2, &written));
    ASSERT_EQ(1, bytes->GetText(back));
    WString expected;
    expected.AssignNarrow("a\xE9");
    EXPECT_EQ(Text(expected), Text(back));
    STATSTG stat;
    ASSERT_EQ(S_OK, bytes->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(5u, stat.cbSize.QuadPart);
}

TEST(XmlFile, MutatedDocumentsLoadOrFailWithoutHarm) {
    static const wchar_t* const seeds[] = {
        Answer,
        L"<?xml version='1.0' encoding='utf-8'?><settings><window left='1' top=\"2\">t</window></settings>",
        L"<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?><!DOCTYPE r [<!ENTITY e 'x'>]>"
        L"<r><![CDATA[a<b]]>&e;&amp;<?pi data?><s a='&#x3a9;'/></r>",
    };
    static const wchar_t pieces[] = L"<>&;'\"=?!/\\- \r\nxencoding[]#\x3a9\xFFFF\xFEFF";
    XmlFile xml;
    ASSERT_EQ(1, xml.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS));
    LegacyXmlDocument legacy;
    ASSERT_EQ(1, legacy.Create(DomXmlDocument::NO_VALIDATION | DomXmlDocument::NO_EXTERNALS));
    unsigned state = 20240611;
    auto next = [&state](unsigned range) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    };
    const int count = 10000;
    int loaded = 0;
    int legacyLoaded = 0;
    int legacyTried = 0;
    for (int i = 0; i < count; i++) {
        std::wstring doc = seeds[next(3)];
        for (unsigned edits = 1 + next(4); edits; edits--) {
            size_t at = next((unsigned)doc.size() + 1);
            switch (next(5)) {
                case 0:
                    doc.insert(at, 1, pieces[next(sizeof(pieces) / sizeof(pieces[0]) - 1)]);
                    break;
                case 1:
                    doc.erase(at, 1 + next(6));
                    break;
                case 2:
                    doc.resize(at);
                    break;
                case 3:
                    doc.insert(at, doc.substr(next((unsigned)doc.size() + 1), next(12)));
                    break;
                default:
                    // Lone surrogates only now and then: Wine's parser reports each one on the console.
                    if (at < doc.size())
                        doc[at] = (wchar_t)(next(2) ? next(128) : next(0x10000));
                    if (at < doc.size() && doc[at] >= 0xD800 && doc[at] < 0xE000 && next(8))
                        doc[at] = L'?';
                    break;
            }
        }
        WString text(doc.c_str());
        WString out;
        Seen seen;
        if (xml.LoadXml(text)) {
            loaded++;
            xml.GetValue(L"update\\files\\count", out);
            xml.Enumerate(L"settings", Record, &seen);
            xml.GetXml(out);
        }
        // The older object model is slower to make a document for every failure; a tenth of them.
        if (i % 10 == 0) {
            legacyTried++;
            if (legacy.LoadXml(text)) {
                legacyLoaded++;
                legacy.GetValue(L"settings\\window\\left", out, nullptr);
                legacy.Enumerate(L"update", Record, &seen, nullptr);
            }
        }
    }
    printf("xml mutations: %d documents, %d loaded by the DOM; %d tried with the older model, %d loaded\n", count,
           loaded, legacyTried, legacyLoaded);
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, count);
    // The parser is whole afterwards.
    ASSERT_EQ(1, xml.LoadXml(Answer));
    EXPECT_EQ(3, xml.GetNumber(L"update\\files\\count", 0));
}
