#include "app/shell/SizedIcon.h"

#include "Pixels.h"
#include "app/shell/AppIcon.h"

#include <gtest/gtest.h>

// The last way to another size, from the system's larger image lists: a 48-pixel icon whose left half is
// opaque red and right half transparent keeps that picture at 24 and at 20 pixels (a border through no
// pixel), and is never scaled up.
TEST(SizedIcon, AnIconScaledDownKeepsItsColoursAndItsTransparency) {
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), 48, -48, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP image = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(nullptr, image);
    for (int i = 0; i < 48 * 48; i++)
        static_cast<DWORD*>(bits)[i] = i % 48 < 24 ? 0xFFFF0000 : 0;
    HICON large = AppIcon::IconFromImage(image, 48);
    DeleteObject(image);
    ASSERT_NE(nullptr, large);
    EXPECT_EQ(nullptr, SizedIcon::ScaledDown(large, 64));
    for (int size : {24, 20}) {
        HICON icon = SizedIcon::ScaledDown(large, size);
        Pixels drawn = Pixels::OfIcon(size, size, RGB(255, 255, 255), icon);
        for (int i = 0; icon && i < size * size; i++)
            ASSERT_EQ(i % size < size / 2 ? 0xFF0000u : 0xFFFFFFu, drawn.At(i % size, i / size)) << size << ": " << i;
        EXPECT_TRUE(icon && DestroyIcon(icon)) << size;
    }
    DestroyIcon(large);
}
