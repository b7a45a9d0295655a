#pragma once
// XmlDocument on the older XML object model (IXMLDocument, IXMLElement), for systems without a usable
// MSXML document object model. Documents are read and written through an in-memory stream. Nodes are
// released before the document is loaded anew (CreateElement without a parent loads one) or closed.

#include "base/WString.h"
#include "base/XmlDocument.h"

struct IStream;
struct IXMLDocument;
struct IXMLElement;

class LegacyXmlDocument : public XmlDocument {
public:
    LegacyXmlDocument() = default;
    ~LegacyXmlDocument() override { Close(); }

    int Create(int flags) override;
    void Close() override;
    int LoadXml(const WString& text) override;
    int LoadFile(const WString& path) override;
    // This object model cannot give the markup of a single node: always 0.
    int GetNodeXml(IUnknown* node, WString& out) override;
    int GetXml(WString& out) override;
    int SaveFile(const WString& path) override;
    int CreateElement(IUnknown* parent, const wchar_t* name, const wchar_t* text, IUnknown** node) override;
    int SetText(IUnknown* node, const wchar_t* text) override;
    int SetAttribute(IUnknown* element, const wchar_t* name, const wchar_t* value) override;
    // Only kept, as the prolog of the document CreateElement starts.
    int AddProcessingInstruction(const wchar_t* target, const wchar_t* data) override;
    int RemoveChild(IUnknown* parent, IUnknown* child) override;

protected:
    IUnknown* Root() override;
    int NodeName(IUnknown* node, WString& name) override;
    int NodeText(IUnknown* node, WString& text) override;
    IUnknown* Nodes(IUnknown* node, int kind, long* count) override;
    IUnknown* NodeAt(IUnknown* nodes, int kind, long index) override;
    int NamedAttribute(IUnknown* node, const wchar_t* name, WString& text) override;

private:
    int LoadStream(IStream* stream);
    int Save(IStream* stream);
    IXMLElement* AsElement(IUnknown* node);
    int AddChild(IXMLElement* parent, IXMLElement* child);
    IXMLElement* NewElement(long type, const wchar_t* name);

    int HasName(IXMLElement* element, const wchar_t* name);

    IXMLDocument* document = nullptr;
    // Set when the document was emptied or a load failed: it reads as having no root. The object and
    // its old tree stay, because Wine's element objects do not keep the tree alive: a node the caller
    // still holds would point into freed memory.
    int emptied = 0;
    WString prolog;
};
