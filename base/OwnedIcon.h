#pragma once
// One icon handle, destroyed with the object: an icon made on the way to another (scaled, or taken out of
// an image list) that must not outlive the function that made it.

#include <windows.h>

class OwnedIcon {
public:
    OwnedIcon() = default;
    explicit OwnedIcon(HICON icon) : icon(icon) {}
    ~OwnedIcon() { Reset(); }
    OwnedIcon(const OwnedIcon&) = delete;
    OwnedIcon& operator=(const OwnedIcon&) = delete;

    HICON Get() const { return icon; }
    // Destroys the present icon and takes over another.
    void Reset(HICON adopted = nullptr) {
        if (icon && icon != adopted)
            DestroyIcon(icon);
        icon = adopted;
    }
    // Hands the icon over to the caller, who destroys it.
    HICON Detach() {
        HICON given = icon;
        icon = nullptr;
        return given;
    }

private:
    HICON icon = nullptr;
};
