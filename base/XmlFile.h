#pragma once
// A small XML document read and written by backslash-separated paths ("update\version"): the MSXML
// document object model where the system has it, the older XML object model otherwise. Each step of a
// path names an attribute or, when there is no such attribute, a child element, without regard to
// case. Nodes handed out carry a reference the caller releases (before Close).

#include "base/ComApartment.h"
#include "base/DomXmlDocument.h"
#include "base/LegacyXmlDocument.h"

class XmlFile {
public:
    XmlFile();
    ~XmlFile() { Close(); }
    XmlFile(const XmlFile&) = delete;
    XmlFile& operator=(const XmlFile&) = delete;

    // Flags of DomXmlDocument (the program passes NO_VALIDATION | NO_EXTERNALS).
    int Create(int flags);
    void Close();
    XmlDocument* Active() const { return active; }

    int LoadXml(const WString& text);
    int LoadFile(const WString& path);
    int SaveFile(const WString& path);
    int GetXml(WString& out);
    int GetValue(const WString& path, WString& out, IUnknown* start = nullptr);
    // The value read as an unsigned decimal number; the default when it is missing or no number.
    int GetNumber(const WString& path, int defaultValue, IUnknown* start = nullptr);
    // The element at the end of the path, created step by step where missing; null on failure.
    IUnknown* EnsurePath(const WString& path, IUnknown* start = nullptr);
    int Enumerate(const WString& path, XmlDocument::Callback callback, void* argument, IUnknown* start = nullptr);
    int SetAttribute(IUnknown* element, const wchar_t* name, const wchar_t* value);
    int CreateElement(IUnknown* parent, const wchar_t* name, const wchar_t* text, IUnknown** node);
    int AddProcessingInstruction(const wchar_t* target, const wchar_t* data);
    int RemoveChild(IUnknown* parent, IUnknown* child);

private:
    XmlDocument* active = nullptr;
    LegacyXmlDocument legacy;
    DomXmlDocument dom;
    ComApartment com;
};
