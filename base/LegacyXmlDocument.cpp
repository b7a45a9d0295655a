#include "base/LegacyXmlDocument.h"

#include "base/Bstr.h"
#include "base/ComObject.h"
#include "base/ComPtr.h"
#include "base/FileObject.h"
#include "base/Variant.h"
#include "base/WStringStream.h"

#include <msxml2.h>
#include <ocidl.h>

namespace {

const CLSID XmlDocumentClass = {0xCFC399AF, 0xD876, 0x11D0, {0x9C, 0x10, 0x00, 0xC0, 0x4F, 0xC9, 0x9C, 0x8E}};
const IID XmlDocumentInterface = {0xF52E2B61, 0x18A1, 0x11D1, {0xB1, 0x05, 0x00, 0x80, 0x5F, 0x49, 0x91, 0x6B}};
const IID XmlElementInterface = {0x3F7F31AC, 0xE15F, 0x11D0, {0x9C, 0x25, 0x00, 0xC0, 0x4F, 0xC9, 0x9C, 0x8E}};
const IID XmlElement2Interface = {0x2B8DE2FF, 0x8D2D, 0x11D1, {0xB2, 0xFC, 0x00, 0xC0, 0x4F, 0xD9, 0x15, 0xA9}};
const IID XmlAttributeInterface = {0xD4D4A0FC, 0x3B73, 0x11D1, {0xB2, 0xB4, 0x00, 0xC0, 0x4F, 0xB9, 0x25, 0x96}};

int AssignBstr(WString& out, const Bstr& text) {
    return out.Assign(text.Get() ? text.Get() : L"", text.Length());
}

} // namespace

int LegacyXmlDocument::Create(int) {
    Close();
    prolog.Assign(L"");
    emptied = 0;
    document =
        static_cast<IXMLDocument*>(CreateComObject(XmlDocumentClass, XmlDocumentInterface, nullptr, COM_OBJECT_CREATE));
    return document != nullptr;
}

void LegacyXmlDocument::Close() {
    if (document) {
        document->Release();
        document = nullptr;
    }
}

int LegacyXmlDocument::LoadStream(IStream* stream) {
    ComPtr<IPersistStreamInit> persist;
    if (!stream || FAILED(document->QueryInterface(IID_IPersistStreamInit, persist.OutVoid())) ||
        FAILED(persist->Load(stream)))
        return 0;
    emptied = 0;
    ComPtr<IUnknown> root(Root());
    emptied = root ? 0 : 1;
    return root ? 1 : 0;
}

int LegacyXmlDocument::LoadXml(const WString& text) {
    if (!document)
        return 0;
    WString attempt(text);
    for (int rewritten = 0;; rewritten = 1) {
        ComPtr<IStream> wide(WStringStream::Create(&attempt));
        if (LoadStream(wide.Get()))
            return 1;
        // The characters as the bytes they were received as, decoded by the document's own declaration.
        const char* bytes = attempt.ToNarrow(WString::BYTE_PER_CHAR);
        ComPtr<IStream> raw(bytes ? WStringStream::CreateFromBytes(bytes, (ULONG)attempt.Length()) : nullptr);
        if (LoadStream(raw.Get()))
            return 1;
        WString next;
        if (rewritten || !WithoutDeclaredEncoding(attempt, next))
            break;
        attempt = next;
    }
    // The object keeps its previous document when a load fails (and when the text is empty): reads
    // after a failed load must not find the old content.
    emptied = 1;
    return 0;
}

int LegacyXmlDocument::LoadFile(const WString& path) {
    if (!document)
        return 0;
    if (SUCCEEDED(document->put_URL(Bstr(path)))) {
        emptied = 0;
        ComPtr<IUnknown> root(Root());
        if (root)
            return 1;
    }
    emptied = 1;
    return 0;
}

int LegacyXmlDocument::Save(IStream* stream) {
    ComPtr<IPersistStreamInit> persist;
    // An emptied document still holds its old tree, which is not to be written.
    return document && !emptied && stream &&
           SUCCEEDED(document->QueryInterface(IID_IPersistStreamInit, persist.OutVoid())) &&
           SUCCEEDED(persist->Save(stream, TRUE));
}

int LegacyXmlDocument::GetNodeXml(IUnknown*, WString&) {
    return 0;
}

int LegacyXmlDocument::GetXml(WString& out) {
    ComPtr<WStringStream> stream(WStringStream::Create(nullptr));
    if (!Save(stream.Get()))
        return 0;
    return stream->GetText(out);
}

int LegacyXmlDocument::SaveFile(const WString& path) {
    // The bytes go to the file as the object model wrote them, in the encoding it declared; and the
    // file is only opened (and emptied) once there is something to write into it.
    ComPtr<WStringStream> stream(WStringStream::Create(nullptr));
    if (!Save(stream.Get()))
        return 0;
    FileObject file;
    if (!file.Open(path, FileObject::WRITE_CREATE, FILE_ATTRIBUTE_NORMAL, 0))
        return 0;
    DWORD written = 0;
    int result = file.Write(stream->Size(), &written, stream->Data()) && written == stream->Size();
    return file.Close() && result;
}

IXMLElement* LegacyXmlDocument::AsElement(IUnknown* node) {
    IXMLElement* element = nullptr;
    if (!document || !node || FAILED(node->QueryInterface(XmlElementInterface, reinterpret_cast<void**>(&element))))
        return nullptr;
    return element;
}

IXMLElement* LegacyXmlDocument::NewElement(long type, const wchar_t* name) {
    Variant kind;
    kind.SetLong(type);
    Variant tag;
    if (name)
        tag.SetString(name);
    IXMLElement* element = nullptr;
    if (FAILED(document->createElement(kind.Get(), tag.Get(), &element)))
        return nullptr;
    return element;
}

int LegacyXmlDocument::AddChild(IXMLElement* parent, IXMLElement* child) {
    if (parent->addChild(child, -1, -1) == S_OK)
        return 1;
    // Wine's object model appends only for index 0; for -1 it answers S_FALSE and adds nothing.
    return parent->addChild(child, 0, -1) == S_OK;
}

int LegacyXmlDocument::CreateElement(IUnknown* parent, const wchar_t* name, const wchar_t* text, IUnknown** node) {
    if (!document || !name || !*name)
        return 0;
    ComPtr<IXMLElement> created;
    if (!parent) {
        ComPtr<IUnknown> root(Root());
        if (root)
            return 0; // a document has one root element
        // This object model has no way to give an empty document its root but to parse one.
        WString markup;
        if (!markup.Format(L"%s<%s></%s>", prolog.Buffer(), name, name) || !LoadXml(markup))
            return 0;
        root.Reset(Root());
        created.Reset(AsElement(root.Get()));
        // The name went into markup: one that carried markup of its own must not become other content.
        WString rootName;
        if (!created || !NodeName(created.Get(), rootName) || rootName.CompareNoCase(name) != 0) {
            created.Reset();
            emptied = 1;
            return 0;
        }
    } else {
        ComPtr<IXMLElement> where(AsElement(parent));
        if (!where)
            return 0;
        created.Reset(NewElement(XMLELEMTYPE_ELEMENT, name));
        if (!created || !HasName(created.Get(), name) || !AddChild(where.Get(), created.Get()))
            return 0;
    }
    if (text && !SetText(created.Get(), text))
        return 0;
    if (node)
        *node = created.Detach();
    return 1;
}

// Wine's object model makes every new element without a name and cannot rename it: such an element
// would be added where no path ever finds it, so the creation fails instead.
int LegacyXmlDocument::HasName(IXMLElement* element, const wchar_t* name) {
    WString present;
    if (NodeName(element, present) && present.CompareNoCase(name) == 0)
        return 1;
    return SUCCEEDED(element->put_tagName(Bstr(name))) && NodeName(element, present) &&
           present.CompareNoCase(name) == 0;
}

int LegacyXmlDocument::SetText(IUnknown* node, const wchar_t* text) {
    ComPtr<IXMLElement> element(AsElement(node));
    if (!element)
        return 0;
    if (SUCCEEDED(element->put_text(Bstr(text))))
        return 1;
    // The object model sets the text of text and comment nodes only (Wine refuses it for elements):
    // the element's children give way to one text node.
    long type = -1;
    if (FAILED(element->get_type(&type)) || type != XMLELEMTYPE_ELEMENT)
        return 0;
    ComPtr<IXMLElementCollection> children;
    long count = 0;
    if (SUCCEEDED(element->get_children(children.Out())) && children)
        children->get_length(&count);
    for (long i = 0; i < count; i++) {
        ComPtr<IUnknown> first(NodeAt(children.Get(), 0, 0));
        ComPtr<IXMLElement> child(AsElement(first.Get()));
        if (!child || FAILED(element->removeChild(child.Get())))
            return 0;
    }
    ComPtr<IXMLElement> textNode(NewElement(XMLELEMTYPE_TEXT, nullptr));
    return textNode && SUCCEEDED(textNode->put_text(Bstr(text))) && AddChild(element.Get(), textNode.Get());
}

int LegacyXmlDocument::SetAttribute(IUnknown* element, const wchar_t* name, const wchar_t* value) {
    ComPtr<IXMLElement> target(AsElement(element));
    if (!target || !name)
        return 0;
    Variant text;
    text.SetString(value);
    return SUCCEEDED(target->setAttribute(Bstr(name), text.Get()));
}

int LegacyXmlDocument::AddProcessingInstruction(const wchar_t* target, const wchar_t* data) {
    if (!target)
        return 0;
    return data ? prolog.Format(L"<?%s %s?>", target, data) : prolog.Format(L"<?%s?>", target);
}

int LegacyXmlDocument::RemoveChild(IUnknown* parent, IUnknown* child) {
    if (!document)
        return 0;
    // Without a parent the child is the root: the document becomes empty.
    if (!parent) {
        emptied = 1;
        return 1;
    }
    ComPtr<IXMLElement> where(AsElement(parent));
    ComPtr<IXMLElement> removing(AsElement(child));
    return where && removing && SUCCEEDED(where->removeChild(removing.Get()));
}

IUnknown* LegacyXmlDocument::Root() {
    IXMLElement* root = nullptr;
    if (!document || emptied || FAILED(document->get_root(&root)))
        return nullptr;
    return root;
}

int LegacyXmlDocument::NodeName(IUnknown* node, WString& name) {
    Bstr text;
    ComPtr<IXMLElement> element(AsElement(node));
    if (element)
        return SUCCEEDED(element->get_tagName(text.Out())) && AssignBstr(name, text);
    ComPtr<IXMLAttribute> attribute;
    return node && SUCCEEDED(node->QueryInterface(XmlAttributeInterface, attribute.OutVoid())) &&
           SUCCEEDED(attribute->get_name(text.Out())) && AssignBstr(name, text);
}

int LegacyXmlDocument::NodeText(IUnknown* node, WString& text) {
    Bstr value;
    ComPtr<IXMLElement> element(AsElement(node));
    if (element)
        return SUCCEEDED(element->get_text(value.Out())) && AssignBstr(text, value);
    ComPtr<IXMLAttribute> attribute;
    return node && SUCCEEDED(node->QueryInterface(XmlAttributeInterface, attribute.OutVoid())) &&
           SUCCEEDED(attribute->get_value(value.Out())) && AssignBstr(text, value);
}

IUnknown* LegacyXmlDocument::Nodes(IUnknown* node, int kind, long* count) {
    *count = 0;
    ComPtr<IXMLElement> element(AsElement(node));
    if (!element)
        return nullptr;
    IXMLElementCollection* nodes = nullptr;
    if (kind == 1) {
        ComPtr<IXMLElement2> element2;
        if (FAILED(element->QueryInterface(XmlElement2Interface, element2.OutVoid())) ||
            FAILED(element2->get_attributes(&nodes)))
            return nullptr;
    } else if (FAILED(element->get_children(&nodes))) {
        return nullptr;
    }
    if (nodes)
        nodes->get_length(count);
    return nodes;
}

IUnknown* LegacyXmlDocument::NodeAt(IUnknown* nodes, int, long index) {
    Variant position;
    position.SetLong(index);
    Variant unused;
    IDispatch* item = nullptr;
    // The collection is the one Nodes handed out.
    if (FAILED(static_cast<IXMLElementCollection*>(nodes)->item(position.Get(), unused.Get(), &item)))
        return nullptr;
    return item;
}

int LegacyXmlDocument::NamedAttribute(IUnknown* node, const wchar_t* name, WString& text) {
    ComPtr<IXMLElement> element(AsElement(node));
    ComPtr<IXMLElement2> element2;
    // Where attributes can be listed the walk has seen them all already.
    if (!element || SUCCEEDED(element->QueryInterface(XmlElement2Interface, element2.OutVoid())))
        return 0;
    Variant value;
    if (element->getAttribute(Bstr(name), value.Out()) != S_OK || value.Type() != VT_BSTR)
        return 0;
    return text.Assign(value.Get().bstrVal ? value.Get().bstrVal : L"");
}
