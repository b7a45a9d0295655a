#include "app/shell/AppIcon.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 32-bit top-down image of one premultiplied pixel value, as the shell's image factory hands them over.
HBITMAP Image(int width, int height, DWORD pixel, WORD bits = 32) {
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    void* data = nullptr;
    HBITMAP image = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &data, nullptr, 0);
    if (image && bits == 32)
        std::fill_n(static_cast<DWORD*>(data), (size_t)width * height, pixel);
    return image;
}

// The icon's colour image, top-down.
std::vector<DWORD> Pixels(HICON icon, int size) {
    ICONINFO parts = {};
    if (!GetIconInfo(icon, &parts))
        return {};
    std::vector<DWORD> pixels((size_t)size * size);
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    int read = GetDIBits(screen, parts.hbmColor, 0, (UINT)size, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(parts.hbmColor);
    DeleteObject(parts.hbmMask);
    return read == size ? pixels : std::vector<DWORD>();
}

} // namespace

TEST(AppIcon, AnImageBecomesAnIconWithStraightAlphaCentredOnATransparentSquare) {
    // Half-transparent (alpha 0x80), premultiplied red 0x40 and blue 0x80: straight, 0x80 and 0xFF.
    HBITMAP image = Image(8, 6, 0x80400080);
    HICON icon = AppIcon::IconFromImage(image, 16);
    ASSERT_NE(nullptr, icon);
    std::vector<DWORD> pixels = Pixels(icon, 16);
    ASSERT_EQ(256u, pixels.size());
    for (int y = 0; y < 16; y++) {
        for (int x = 0; x < 16; x++) {
            bool inside = x >= 4 && x < 12 && y >= 5 && y < 11;
            EXPECT_EQ(inside ? 0x808000FFu : 0u, pixels[(size_t)y * 16 + x]) << x << "," << y;
        }
    }
    DestroyIcon(icon);
    DeleteObject(image);
    // Larger than the icon, or without alpha: no icon rather than a cropped or black one.
    for (HBITMAP refused : {Image(17, 16, 0xFF000000), Image(16, 16, 0, 24)}) {
        EXPECT_EQ(nullptr, AppIcon::IconFromImage(refused, 16));
        DeleteObject(refused);
    }
}
