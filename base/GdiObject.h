#pragma once
// One owned GDI object (font, bitmap, brush, pen, region), deleted on release, with font and bitmap loading.

#include <windows.h>

class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(HGDIOBJ handle) : handle(handle) {}
    ~GdiObject() { Release(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
    GdiObject& operator=(GdiObject&& other) noexcept;

    // DeleteObject's result; 0 when there is nothing to delete.
    int Release();
    // Releases the current object and takes ownership of another.
    void Attach(HGDIOBJ object);
    // Gives the object away without deleting it; the owner is empty afterwards.
    HGDIOBJ Detach() {
        HGDIOBJ given = handle;
        handle = nullptr;
        return given;
    }
    // windows.h maps these two names to CreateFontW and LoadBitmapW; the members follow the same macros.
    HFONT CreateFont(const LOGFONTW& font);
    int LoadBitmap(HINSTANCE module, UINT resourceId);

    HGDIOBJ Handle() const { return handle; }
    template <typename T> T As() const { return static_cast<T>(handle); }

private:
    HGDIOBJ handle = nullptr;
};
