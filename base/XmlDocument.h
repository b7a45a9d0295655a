#pragma once
// A parsed XML document behind XmlFile, one implementation per platform parser. Nodes are the
// parser's own COM interfaces, passed as IUnknown: a node an operation takes is borrowed, a node it
// hands out carries a reference the caller releases.

#include <unknwn.h>

class WString;
class XmlFile;

class XmlDocument {
public:
    // kind 1: an attribute; 0: an element or another child node. Returning 1 ends the walk with success.
    typedef int (*Callback)(int kind, IUnknown* node, const WString& name, const WString& text, void* argument,
                            XmlFile* owner);

    XmlDocument() = default;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    virtual int Create(int flags) = 0;
    virtual void Close() = 0;
    virtual int LoadXml(const WString& text) = 0;
    virtual int LoadFile(const WString& path) = 0;
    virtual int GetNodeXml(IUnknown* node, WString& out) = 0;
    virtual int GetXml(WString& out) = 0;
    virtual int SaveFile(const WString& path) = 0;
    // Backslash-separated steps, each an attribute or (when there is no such attribute) an element,
    // names compared without regard to case; without a start node the first step names the root.
    virtual int GetValue(const WString& path, WString& out, IUnknown* start);
    // One step from *node (a reference the caller owns; null: the root). A step that moves releases it
    // and stores a reference to the node reached.
    virtual int FindChild(const wchar_t* name, Callback callback, void* argument, WString& out, IUnknown** node);
    virtual int Enumerate(const WString& path, Callback callback, void* argument, IUnknown* start);
    virtual int CreateElement(IUnknown* parent, const wchar_t* name, const wchar_t* text, IUnknown** node) = 0;
    virtual int SetText(IUnknown* node, const wchar_t* text) = 0;
    virtual int SetAttribute(IUnknown* element, const wchar_t* name, const wchar_t* value) = 0;
    virtual int AddProcessingInstruction(const wchar_t* target, const wchar_t* data) = 0;
    virtual int RemoveChild(IUnknown* parent, IUnknown* child) = 0;
    virtual ~XmlDocument() = default;

    void SetOwner(XmlFile* file) { owner = file; }

protected:
    // The walk of FindChild in each parser's terms. Root and NodeAt hand out a reference.
    virtual IUnknown* Root() = 0;
    virtual int NodeName(IUnknown* node, WString& name) = 0;
    virtual int NodeText(IUnknown* node, WString& text) = 0;
    // The attributes (kind 1) or the child nodes (kind 0) of a node, null when it has none to list.
    virtual IUnknown* Nodes(IUnknown* node, int kind, long* count) = 0;
    virtual IUnknown* NodeAt(IUnknown* nodes, int kind, long index) = 0;
    // An attribute found by its name where the parser cannot list attributes; 0 when it can or has none.
    virtual int NamedAttribute(IUnknown*, const wchar_t*, WString&) { return 0; }

    // The text without the encoding attribute of its XML declaration, for a parser that refuses the
    // encoding named there; 0 when there is none to remove.
    static int WithoutDeclaredEncoding(const WString& text, WString& rewritten);

    XmlFile* owner = nullptr;

private:
    int Walk(int kind, const wchar_t* name, Callback callback, void* argument, WString& out, IUnknown** node,
             int* found);
    int Follow(const WString& path, WString& out, IUnknown* start, IUnknown** reached);
};
