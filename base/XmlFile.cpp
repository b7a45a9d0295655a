#include "base/XmlFile.h"

#include "base/ComPtr.h"
#include "base/WString.h"

#include <stdio.h>
#include <utility>

XmlFile::XmlFile() {
    legacy.SetOwner(this);
    dom.SetOwner(this);
}

int XmlFile::Create(int flags) {
    Close();
    // A thread already in COM (in either model) can create the parsers as it is.
    com.Init(ComApartment::SINGLE_THREADED);
    if (dom.Create(flags))
        active = &dom;
    else if (legacy.Create(flags))
        active = &legacy;
    return active != nullptr;
}

void XmlFile::Close() {
    if (active)
        active->Close();
    active = nullptr;
    com.Uninit();
}

int XmlFile::LoadXml(const WString& text) {
    return active ? active->LoadXml(text) : 0;
}

int XmlFile::LoadFile(const WString& path) {
    return active ? active->LoadFile(path) : 0;
}

int XmlFile::SaveFile(const WString& path) {
    return active ? active->SaveFile(path) : 0;
}

int XmlFile::GetXml(WString& out) {
    return active ? active->GetXml(out) : 0;
}

int XmlFile::GetValue(const WString& path, WString& out, IUnknown* start) {
    if (!active) {
        out.Assign(L"");
        return 0;
    }
    return active->GetValue(path, out, start);
}

int XmlFile::GetNumber(const WString& path, int defaultValue, IUnknown* start) {
    WString text;
    unsigned number = (unsigned)defaultValue;
    if (GetValue(path, text, start))
        swscanf(text.Buffer(), L"%u", &number);
    return (int)number;
}

IUnknown* XmlFile::EnsurePath(const WString& path, IUnknown* start) {
    if (!active)
        return nullptr;
    ComPtr<IUnknown> current;
    current.Share(start);
    WString steps(path);
    WString text;
    for (wchar_t* step = steps.Tokenize(WString::FIRST_TOKEN, L"\\"); step;
         step = steps.Tokenize(WString::NEXT_TOKEN, L"\\")) {
        ComPtr<IUnknown> next;
        next.Share(current.Get());
        if (active->FindChild(step, nullptr, nullptr, text, next.InOut()) == 1 && next) {
            current = std::move(next);
            continue;
        }
        // Created under the node the step started from: without one, as the document's root, which
        // fails when the document has a root of another name rather than nesting below it.
        ComPtr<IUnknown> created;
        if (!active->CreateElement(current.Get(), step, nullptr, created.Out()) || !created)
            return nullptr;
        current = std::move(created);
    }
    return current.Detach();
}

int XmlFile::Enumerate(const WString& path, XmlDocument::Callback callback, void* argument, IUnknown* start) {
    return active ? active->Enumerate(path, callback, argument, start) : 0;
}

int XmlFile::SetAttribute(IUnknown* element, const wchar_t* name, const wchar_t* value) {
    return active ? active->SetAttribute(element, name, value) : 0;
}

int XmlFile::CreateElement(IUnknown* parent, const wchar_t* name, const wchar_t* text, IUnknown** node) {
    return active ? active->CreateElement(parent, name, text, node) : 0;
}

int XmlFile::AddProcessingInstruction(const wchar_t* target, const wchar_t* data) {
    return active ? active->AddProcessingInstruction(target, data) : 0;
}

int XmlFile::RemoveChild(IUnknown* parent, IUnknown* child) {
    return active ? active->RemoveChild(parent, child) : 0;
}
