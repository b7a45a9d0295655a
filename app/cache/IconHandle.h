#pragma once
// One icon handle, owned or borrowed, that can be decoded from and written to the icon-file blob in which the
// icon cache keeps the entries' icons.

#include <windows.h>

#include <stddef.h>

#include <vector>

class IconHandle {
public:
    // OWNED: DestroyIcon is called when the icon is replaced or the object ends.
    enum Ownership : int { BORROWED = 0, OWNED = 1 };

    IconHandle() = default;
    IconHandle(HICON icon, Ownership owned) : icon(icon), owned(owned) {}
    ~IconHandle() { Release(); }
    IconHandle(const IconHandle&) = delete;
    IconHandle& operator=(const IconHandle&) = delete;
    IconHandle(IconHandle&& other) noexcept;
    IconHandle& operator=(IconHandle&& other) noexcept;

    void Set(HICON icon, Ownership owned);
    void Release();
    // Decodes the image of the blob that best fits wantedSize pixels (the menus ask for 16).
    int FromBlob(const unsigned char* blob, size_t size, int wantedSize, Ownership owned);
    // Appends the icon as a one-image icon file; a failure may leave part of it in the buffer.
    int ToBlob(std::vector<unsigned char>& buffer) const;

    HICON Handle() const { return icon; }
    Ownership Owned() const { return owned; }

private:
    HICON icon = nullptr;
    Ownership owned = BORROWED;
};
