#include "base/XmlDocument.h"

#include "base/ComPtr.h"
#include "base/WString.h"

#include <wchar.h>

namespace {

int SameName(const WString& name, const wchar_t* wanted) {
    return wanted && name.CompareNoCase(wanted) == 0;
}

int IsXmlSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

} // namespace

// Only the declaration at the very start is touched: an attribute or text further on that happens to
// read encoding="..." is part of the document.
int XmlDocument::WithoutDeclaredEncoding(const WString& text, WString& rewritten) {
    const wchar_t* start = text.Buffer();
    if (!start)
        return 0;
    if (start[0] == 0xFEFF)
        start++;
    else if (start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF)
        start += 3; // a UTF-8 byte-order mark held one byte per character
    if (_wcsnicmp(start, L"<?xml", 5) != 0 || !IsXmlSpace(start[5]))
        return 0;
    const wchar_t* end = wcsstr(start, L"?>");
    if (!end)
        return 0;
    static const wchar_t* const forms[] = {L"encoding=\"", L"encoding='"};
    for (const wchar_t* form : forms) {
        const size_t length = 10;
        for (const wchar_t* at = start + 5; at + length <= end; at++) {
            if (!IsXmlSpace(at[-1]) || _wcsnicmp(at, form, length) != 0)
                continue;
            const wchar_t* close = at + length;
            while (close < end && *close != form[length - 1])
                close++;
            if (close >= end)
                return 0;
            if (!rewritten.Assign(text))
                return 0;
            rewritten.Delete((int)(at - text.Buffer()), (int)(close - at) + 1);
            return 1;
        }
    }
    return 0;
}

int XmlDocument::Walk(int kind, const wchar_t* name, Callback callback, void* argument, WString& out, IUnknown** node,
                      int* found) {
    long count = 0;
    ComPtr<IUnknown> nodes(Nodes(*node, kind, &count));
    int result = 0;
    WString itemName;
    WString itemText;
    for (long i = 0; nodes && i < count; i++) {
        ComPtr<IUnknown> item(NodeAt(nodes.Get(), kind, i));
        if (!item)
            continue;
        itemName.Assign(L"");
        itemText.Assign(L"");
        NodeName(item.Get(), itemName);
        NodeText(item.Get(), itemText);
        if (SameName(itemName, name)) {
            out.Assign(itemText);
            (*node)->Release();
            *node = item.Detach();
            *found = 1;
            return 1;
        }
        if (callback) {
            result = callback(kind, item.Get(), itemName, itemText, argument, owner);
            if (result == 1) {
                *found = 1;
                return 1;
            }
        }
    }
    return result;
}

int XmlDocument::FindChild(const wchar_t* name, Callback callback, void* argument, WString& out, IUnknown** node) {
    if (!node)
        return 0;
    int result = 0;
    if (!*node) {
        ComPtr<IUnknown> root(Root());
        if (root) {
            WString rootName;
            WString rootText;
            NodeName(root.Get(), rootName);
            NodeText(root.Get(), rootText);
            int match = SameName(rootName, name);
            if (match)
                out.Assign(rootText);
            result = callback ? callback(0, root.Get(), rootName, rootText, argument, owner) : match;
            *node = root.Detach();
        }
    } else if (name && wcscmp(name, L"#text") == 0) {
        NodeText(*node, out);
        return 1;
    } else {
        int found = 0;
        result = Walk(1, name, callback, argument, out, node, &found);
        if (!found && name && NamedAttribute(*node, name, out))
            return 1;
        if (!found)
            result = Walk(0, name, callback, argument, out, node, &found);
    }
    if (result == 0)
        out.Assign(L"");
    return result;
}

int XmlDocument::Follow(const WString& path, WString& out, IUnknown* start, IUnknown** reached) {
    ComPtr<IUnknown> current;
    current.Share(start);
    WString steps(path);
    int result = 1;
    for (wchar_t* step = steps.Tokenize(WString::FIRST_TOKEN, L"\\"); step;
         step = steps.Tokenize(WString::NEXT_TOKEN, L"\\")) {
        result = FindChild(step, nullptr, nullptr, out, current.InOut());
        if (!result)
            break;
    }
    *reached = current.Detach();
    return result;
}

int XmlDocument::GetValue(const WString& path, WString& out, IUnknown* start) {
    out.Assign(L"");
    ComPtr<IUnknown> reached;
    // A path without a step names nothing to read.
    WString probe(path);
    int result = probe.Tokenize(WString::FIRST_TOKEN, L"\\") ? Follow(path, out, start, reached.Out()) : 0;
    if (!result)
        out.Assign(L"");
    return result;
}

int XmlDocument::Enumerate(const WString& path, Callback callback, void* argument, IUnknown* start) {
    WString text;
    ComPtr<IUnknown> reached;
    if (!Follow(path, text, start, reached.Out()))
        return 0;
    return FindChild(nullptr, callback, argument, text, reached.InOut());
}
