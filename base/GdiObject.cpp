#include "base/GdiObject.h"

GdiObject& GdiObject::operator=(GdiObject&& other) noexcept {
    if (this != &other) {
        Release();
        handle = other.handle;
        other.handle = nullptr;
    }
    return *this;
}

int GdiObject::Release() {
    if (!handle)
        return 0;
    int result = DeleteObject(handle) != 0;
    handle = nullptr;
    return result;
}

void GdiObject::Attach(HGDIOBJ object) {
    if (object == handle)
        return;
    Release();
    handle = object;
}

HFONT GdiObject::CreateFont(const LOGFONTW& font) {
    Release();
    handle = CreateFontIndirectW(&font);
    return static_cast<HFONT>(handle);
}

int GdiObject::LoadBitmap(HINSTANCE module, UINT resourceId) {
    Release();
    handle = ::LoadBitmapW(module, MAKEINTRESOURCEW(resourceId));
    return handle != nullptr;
}
