#include "app/shell/AppIcon.h"

#include "Pixels.h"

#include <gtest/gtest.h>

#include <stdlib.h>

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

} // namespace

TEST(AppIcon, AnImageBecomesAnIconThatDrawsAsTheShellsImageCentredOnATransparentSquare) {
    // Half-transparent (alpha 0x80) premultiplied red 0x40 and blue 0x80: drawn on black, the icon must
    // give those values again (premultiplied twice, it would give half of them).
    HBITMAP image = Image(8, 6, 0x80400080);
    HICON icon = AppIcon::IconFromImage(image, 16);
    ASSERT_NE(nullptr, icon);
    Pixels drawn = Pixels::OfIcon(16, 16, RGB(0, 0, 0), icon);
    ASSERT_EQ(16, drawn.width);
    for (int y = 0; y < 16; y++) {
        for (int x = 0; x < 16; x++) {
            bool inside = x >= 4 && x < 12 && y >= 5 && y < 11;
            DWORD pixel = drawn.At(x, y);
            EXPECT_LE(abs((int)(pixel >> 16) - (inside ? 0x40 : 0)), 1) << x << "," << y;
            EXPECT_LE(abs((int)(pixel & 0xFF) - (inside ? 0x80 : 0)), 1) << x << "," << y;
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
