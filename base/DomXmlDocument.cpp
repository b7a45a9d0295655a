#include "base/DomXmlDocument.h"

#include "base/Bstr.h"
#include "base/ComObject.h"
#include "base/ComPtr.h"
#include "base/Variant.h"
#include "base/WString.h"

#include <msxml2.h>

namespace {

const IID DomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

int AssignBstr(WString& out, const Bstr& text) {
    return out.Assign(text.Get() ? text.Get() : L"", text.Length());
}

} // namespace

int DomXmlDocument::Create(int flags) {
    Close();
    static const wchar_t* const progIds[] = {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.4.0",
                                             L"Msxml.DOMDocument"};
    for (const wchar_t* progId : progIds) {
        document =
            static_cast<IXMLDOMDocument*>(CreateComObject(progId, IID_IXMLDOMDocument, nullptr, COM_OBJECT_CREATE));
        if (document)
            break;
    }
    if (!document)
        return 0;
    document->put_async(VARIANT_FALSE);
    if (flags & NO_VALIDATION)
        document->put_validateOnParse(VARIANT_FALSE);
    if (flags & NO_EXTERNALS)
        document->put_resolveExternals(VARIANT_FALSE);
    if (flags & ALLOW_DTD) {
        ComPtr<IXMLDOMDocument2> document2;
        if (SUCCEEDED(document->QueryInterface(DomDocument2, document2.OutVoid()))) {
            Variant allowed;
            allowed.SetBool(0);
            document2->setProperty(Bstr(L"ProhibitDTD"), allowed.Get());
        }
    }
    return 1;
}

void DomXmlDocument::Close() {
    if (document) {
        document->Release();
        document = nullptr;
    }
}

int DomXmlDocument::LoadStream(const wchar_t* text, unsigned length) {
    // Wine's parser takes UTF-16 without a byte-order mark only when a declaration starts the text;
    // the mark makes any UTF-16 text load (Windows' parser takes it as well).
    SIZE_T size = ((SIZE_T)length + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_FIXED, size);
    if (!memory)
        return 0;
    wchar_t* data = static_cast<wchar_t*>(memory);
    data[0] = 0xFEFF;
    memcpy(data + 1, text, (SIZE_T)length * sizeof(wchar_t));
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.Out()))) {
        GlobalFree(memory);
        return 0;
    }
    // The stream takes the block's size, which the allocator may have rounded up.
    ULARGE_INTEGER exact;
    exact.QuadPart = size;
    stream->SetSize(exact);
    Variant source;
    source.SetUnknown(stream.Get());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(source.Get(), &loaded);
    source.Clear();
    return SUCCEEDED(hr) && loaded == VARIANT_TRUE;
}

int DomXmlDocument::LoadBytes(WString& text) {
    // Each character's low byte: the text as the bytes it was received as, for the parser to decode by
    // the document's own declaration.
    ULONG count = (ULONG)text.Length();
    const char* bytes = text.ToNarrow(WString::BYTE_PER_CHAR);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
    if (!bytes || !array) {
        if (array)
            SafeArrayDestroy(array);
        return 0;
    }
    Variant source;
    source.SetArray(array, VT_UI1);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)))
        return 0;
    memcpy(data, bytes, count);
    SafeArrayUnaccessData(array);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(source.Get(), &loaded);
    source.Clear();
    return SUCCEEDED(hr) && loaded == VARIANT_TRUE;
}

int DomXmlDocument::LoadXml(const WString& text) {
    if (!document)
        return 0;
    WString attempt(text);
    for (int rewritten = 0;; rewritten = 1) {
        if (LoadStream(attempt.Buffer(), (unsigned)attempt.Length()) || LoadBytes(attempt))
            return 1;
        WString next;
        if (rewritten || !WithoutDeclaredEncoding(attempt, next))
            return 0;
        attempt = next;
    }
}

int DomXmlDocument::LoadFile(const WString& path) {
    if (!document)
        return 0;
    // The path goes as it is: narrowing it to the ANSI code page would lose the characters outside it.
    Variant source;
    source.SetString(path);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(source.Get(), &loaded);
    source.Clear();
    return SUCCEEDED(hr) && loaded == VARIANT_TRUE;
}

int DomXmlDocument::SaveFile(const WString& path) {
    if (!document)
        return 0;
    Variant target;
    target.SetString(path);
    HRESULT hr = document->save(target.Get());
    target.Clear();
    return SUCCEEDED(hr);
}

int DomXmlDocument::GetXml(WString& out) {
    Bstr xml;
    if (!document || FAILED(document->get_xml(xml.Out())))
        return 0;
    return AssignBstr(out, xml);
}

int DomXmlDocument::GetNodeXml(IUnknown* node, WString& out) {
    ComPtr<IXMLDOMNode> target(AsNode(node, 0));
    Bstr xml;
    if (!target || FAILED(target->get_xml(xml.Out())))
        return 0;
    return AssignBstr(out, xml);
}

IXMLDOMNode* DomXmlDocument::AsNode(IUnknown* node, int useDocument) {
    IXMLDOMNode* result = nullptr;
    if (!node && useDocument)
        node = document;
    // A node of another parser is refused here rather than taken for one of ours.
    if (!document || !node || FAILED(node->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(&result))))
        return nullptr;
    return result;
}

int DomXmlDocument::CreateElement(IUnknown* parent, const wchar_t* name, const wchar_t* text, IUnknown** node) {
    ComPtr<IXMLDOMNode> where(AsNode(parent, 1));
    if (!where || !name)
        return 0;
    // A document has one root element; Wine's parser would append a second one.
    ComPtr<IUnknown> root(parent ? nullptr : Root());
    if (root)
        return 0;
    ComPtr<IXMLDOMElement> element;
    if (FAILED(document->createElement(Bstr(name), element.Out())) || !element)
        return 0;
    if (text && FAILED(element->put_text(Bstr(text))))
        return 0;
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(where->appendChild(element.Get(), appended.Out())) || !appended)
        return 0;
    if (node)
        *node = appended.Detach();
    return 1;
}

int DomXmlDocument::SetText(IUnknown* node, const wchar_t* text) {
    ComPtr<IXMLDOMNode> target(AsNode(node, 0));
    return target && SUCCEEDED(target->put_text(Bstr(text)));
}

int DomXmlDocument::SetAttribute(IUnknown* element, const wchar_t* name, const wchar_t* value) {
    ComPtr<IXMLDOMNode> target(AsNode(element, 0));
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (!target || !name || FAILED(target->get_attributes(attributes.Out())) || !attributes)
        return 0;
    // Reads match names without regard to case; an attribute that differs from the name only in case
    // is the one they find, so it is the one that takes the value (a second one would never be read).
    long count = 0;
    attributes->get_length(&count);
    for (long i = 0; i < count; i++) {
        ComPtr<IXMLDOMNode> present;
        Bstr presentName;
        if (SUCCEEDED(attributes->get_item(i, present.Out())) && present &&
            SUCCEEDED(present->get_nodeName(presentName.Out())) && presentName.Get() &&
            _wcsicmp(presentName.Get(), name) == 0)
            return SUCCEEDED(present->put_text(Bstr(value)));
    }
    ComPtr<IXMLDOMAttribute> attribute;
    if (FAILED(document->createAttribute(Bstr(name), attribute.Out())) || !attribute ||
        FAILED(attribute->put_text(Bstr(value))))
        return 0;
    ComPtr<IXMLDOMNode> replaced;
    return SUCCEEDED(attributes->setNamedItem(attribute.Get(), replaced.Out()));
}

int DomXmlDocument::AddProcessingInstruction(const wchar_t* target, const wchar_t* data) {
    if (!document || !target)
        return 0;
    ComPtr<IXMLDOMProcessingInstruction> instruction;
    if (FAILED(document->createProcessingInstruction(Bstr(target), Bstr(data), instruction.Out())) || !instruction)
        return 0;
    ComPtr<IXMLDOMNode> appended;
    return SUCCEEDED(document->appendChild(instruction.Get(), appended.Out())) && appended;
}

int DomXmlDocument::RemoveChild(IUnknown* parent, IUnknown* child) {
    ComPtr<IXMLDOMNode> where(AsNode(parent, 1));
    ComPtr<IXMLDOMNode> removing(AsNode(child, 0));
    ComPtr<IXMLDOMNode> removed;
    return where && removing && SUCCEEDED(where->removeChild(removing.Get(), removed.Out())) && removed;
}

IUnknown* DomXmlDocument::Root() {
    IXMLDOMElement* root = nullptr;
    if (!document || FAILED(document->get_documentElement(&root)))
        return nullptr;
    return root;
}

int DomXmlDocument::NodeName(IUnknown* node, WString& name) {
    ComPtr<IXMLDOMNode> target(AsNode(node, 0));
    Bstr text;
    return target && SUCCEEDED(target->get_nodeName(text.Out())) && AssignBstr(name, text);
}

int DomXmlDocument::NodeText(IUnknown* node, WString& text) {
    ComPtr<IXMLDOMNode> target(AsNode(node, 0));
    Bstr value;
    return target && SUCCEEDED(target->get_text(value.Out())) && AssignBstr(text, value);
}

IUnknown* DomXmlDocument::Nodes(IUnknown* node, int kind, long* count) {
    ComPtr<IXMLDOMNode> target(AsNode(node, 0));
    *count = 0;
    if (!target)
        return nullptr;
    if (kind == 1) {
        IXMLDOMNamedNodeMap* attributes = nullptr;
        // Nodes other than elements answer S_FALSE and no map.
        if (FAILED(target->get_attributes(&attributes)) || !attributes)
            return nullptr;
        attributes->get_length(count);
        return attributes;
    }
    IXMLDOMNodeList* children = nullptr;
    if (FAILED(target->get_childNodes(&children)) || !children)
        return nullptr;
    children->get_length(count);
    return children;
}

IUnknown* DomXmlDocument::NodeAt(IUnknown* nodes, int kind, long index) {
    IXMLDOMNode* item = nullptr;
    // The collection is the one Nodes handed out for the same kind.
    HRESULT hr = kind == 1 ? static_cast<IXMLDOMNamedNodeMap*>(nodes)->get_item(index, &item)
                           : static_cast<IXMLDOMNodeList*>(nodes)->get_item(index, &item);
    return SUCCEEDED(hr) ? item : nullptr;
}
