#pragma once
// XmlDocument on the MSXML document object model (IXMLDOMDocument).

#include "base/XmlDocument.h"

struct IXMLDOMDocument;
struct IXMLDOMNode;

class DomXmlDocument : public XmlDocument {
public:
    // Bits of Create's flags: no validation while parsing, no external resources, document type
    // declarations allowed.
    enum { NO_VALIDATION = 1, NO_EXTERNALS = 2, ALLOW_DTD = 4 };

    DomXmlDocument() = default;
    ~DomXmlDocument() override { Close(); }

    int Create(int flags) override;
    void Close() override;
    int LoadXml(const WString& text) override;
    int LoadFile(const WString& path) override;
    int GetNodeXml(IUnknown* node, WString& out) override;
    int GetXml(WString& out) override;
    int SaveFile(const WString& path) override;
    int CreateElement(IUnknown* parent, const wchar_t* name, const wchar_t* text, IUnknown** node) override;
    int SetText(IUnknown* node, const wchar_t* text) override;
    int SetAttribute(IUnknown* element, const wchar_t* name, const wchar_t* value) override;
    int AddProcessingInstruction(const wchar_t* target, const wchar_t* data) override;
    int RemoveChild(IUnknown* parent, IUnknown* child) override;

protected:
    IUnknown* Root() override;
    int NodeName(IUnknown* node, WString& name) override;
    int NodeText(IUnknown* node, WString& text) override;
    IUnknown* Nodes(IUnknown* node, int kind, long* count) override;
    IUnknown* NodeAt(IUnknown* nodes, int kind, long index) override;

private:
    int LoadStream(const wchar_t* text, unsigned length);
    int LoadBytes(WString& text);
    // The node's own DOM interface, or the document's when node is null and useDocument is 1.
    IXMLDOMNode* AsNode(IUnknown* node, int useDocument);

    IXMLDOMDocument* document = nullptr;
};
