#include "base/Canvas.h"
#include "base/GdiObject.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

const COLORREF Red = RGB(255, 0, 0);
const COLORREF Green = RGB(0, 255, 0);
const COLORREF Blue = RGB(0, 0, 255);
const COLORREF White = RGB(255, 255, 255);
// Not symmetric in red and blue, so that a key compared in the wrong byte order shows.
const COLORREF Key = RGB(255, 128, 0);
const RECT Whole = {0, 0, 0, 0};

// A 32-bit top-down canvas of one colour.
void Solid(Canvas& canvas, int width, int height, COLORREF color) {
    ASSERT_EQ(1, canvas.CreateBitmap(width, -height, 1, 32, nullptr, 0));
    ASSERT_EQ(1, canvas.FillRectangle(color, 0, 0, 0, 0));
}

// A top-down 32-bit bitmap from its pixels, row by row, selected into no DC (as one to draw from must be).
GdiObject Pixels(int width, std::initializer_list<COLORREF> colors) {
    BITMAPINFO info = {};
    int height = static_cast<int>(colors.size()) / width;
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    GdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    DWORD* pixel = static_cast<DWORD*>(bits);
    for (COLORREF color : colors)
        *pixel++ = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    return bitmap;
}

// A canvas that has to do without TransparentBlt, as on Windows 95 and 98.
class EmulatingCanvas : public Canvas {
public:
    EmulatingCanvas() { provider.loaded = 1; }
};

class ProviderCanvas : public Canvas {
public:
    int HasProvider() const { return provider.transparentBlt && provider.alphaBlend; }
};

int AllPixels(const Canvas& canvas, COLORREF color) {
    for (int y = 0; y < canvas.Height(); y++)
        for (int x = 0; x < canvas.Width(); x++)
            if (canvas.PixelAt(x, y) != color)
                return 0;
    return 1;
}

} // namespace

TEST(Canvas, BitmapsTakeRowOrderColourTableAndSize) {
    Canvas canvas;
    ASSERT_EQ(1, canvas.CreateBitmap(3, -2, 1, 32, nullptr, 0));
    EXPECT_EQ(Canvas::MEMORY_DC, canvas.Kind());
    EXPECT_EQ(2, canvas.Height());
    // A 32-bit DIB pixel is 0x00RRGGBB; a negative height puts the first row at the top.
    static_cast<DWORD*>(canvas.Bits())[0] = 0x00FF0000;
    EXPECT_EQ(Red, canvas.PixelAt(0, 0));
    ASSERT_EQ(1, canvas.CreateBitmap(3, 2, 1, 32, nullptr, 0));
    static_cast<DWORD*>(canvas.Bits())[0] = 0x000000FF;
    EXPECT_EQ(Blue, canvas.PixelAt(0, 1));

    const RGBQUAD table[2] = {{0, 0, 255, 0}, {0, 255, 0, 0}};
    ASSERT_EQ(1, canvas.CreateBitmap(4, -1, 1, 8, table, 2));
    static_cast<BYTE*>(canvas.Bits())[0] = 1;
    EXPECT_EQ(Green, canvas.PixelAt(0, 0));
    EXPECT_EQ(Red, canvas.PixelAt(1, 0));

    ASSERT_EQ(1, canvas.CreateBitmap(5, 4, 0, 0, nullptr, 0));
    EXPECT_EQ(nullptr, canvas.Bits());
    EXPECT_EQ(5, canvas.Width());
    EXPECT_EQ(0, canvas.CreateBitmap(0, 4, 0, 0, nullptr, 0));
}

TEST(Canvas, AllZeroRectangleFillsTheWholeBitmap) {
    Canvas canvas;
    Solid(canvas, 7, 5, Red);
    EXPECT_TRUE(AllPixels(canvas, Red));
    ASSERT_EQ(1, canvas.FillRectangle(Blue, 2, 1, 4, 3));
    EXPECT_EQ(Blue, canvas.PixelAt(3, 2));
    EXPECT_EQ(Red, canvas.PixelAt(4, 2));
    EXPECT_EQ(Red, canvas.PixelAt(3, 3));
    // The same on a compatible bitmap.
    ASSERT_EQ(1, canvas.CreateBitmap(9, 6, 0, 0, nullptr, 0));
    ASSERT_EQ(1, canvas.FillRectangle(Green, 0, 0, 0, 0));
    EXPECT_TRUE(AllPixels(canvas, Green));
}

TEST(Canvas, BitmapIsDrawnAtItsOwnSizeOrFromASourcePosition) {
    GdiObject source = Pixels(3, {Red, Red, Red, Red, Red, Blue});
    Canvas canvas;
    Solid(canvas, 10, 10, White);
    ASSERT_EQ(1, canvas.DrawBitmap(source.As<HBITMAP>(), 0, 2, 3, 0, 0, 0, 0));
    EXPECT_EQ(Red, canvas.PixelAt(2, 3));
    EXPECT_EQ(Blue, canvas.PixelAt(4, 4));
    EXPECT_EQ(White, canvas.PixelAt(5, 3));
    EXPECT_EQ(White, canvas.PixelAt(2, 5));

    ASSERT_EQ(1, canvas.DrawBitmap(source.As<HBITMAP>(), 0, 6, 6, 8, 7, 1, 1));
    EXPECT_EQ(Red, canvas.PixelAt(6, 6));
    EXPECT_EQ(Blue, canvas.PixelAt(7, 6));
    EXPECT_EQ(White, canvas.PixelAt(8, 6));
}

TEST(Canvas, TilingRepeatsAndStretchingCoversTheRectangle) {
    GdiObject tile = Pixels(2, {Red, Blue, Blue, Blue});
    Canvas canvas;
    Solid(canvas, 8, 6, White);
    ASSERT_EQ(1, canvas.DrawBitmap(tile.As<HBITMAP>(), DRAW_TILE, 1, 1, 6, 4, 0, 0));
    for (int y : {1, 3})
        for (int x : {1, 3, 5})
            EXPECT_EQ(Red, canvas.PixelAt(x, y)) << x << "," << y;
    EXPECT_EQ(Blue, canvas.PixelAt(4, 2));
    EXPECT_EQ(White, canvas.PixelAt(6, 1));
    EXPECT_EQ(White, canvas.PixelAt(1, 4));

    GdiObject pair = Pixels(2, {Red, Blue});
    Solid(canvas, 10, 5, White);
    ASSERT_EQ(1, canvas.DrawBitmap(pair.As<HBITMAP>(), DRAW_STRETCH, 0, 0, 8, 4, 1, 0));
    // Halftone stretching blends neighbouring pixels; the outer columns keep their own colour.
    for (int y : {0, 3}) {
        EXPECT_EQ(Red, canvas.PixelAt(0, y));
        EXPECT_EQ(Blue, canvas.PixelAt(7, y));
        EXPECT_GT(GetRValue(canvas.PixelAt(1, y)), GetBValue(canvas.PixelAt(1, y)));
    }
    EXPECT_EQ(White, canvas.PixelAt(8, 0));
    EXPECT_EQ(White, canvas.PixelAt(0, 4));
}

TEST(Canvas, TransparentDrawingLeavesKeyPixelsOut) {
    GdiObject row = Pixels(4, {Red, Key, Blue, Key});
    GdiObject pair = Pixels(2, {Red, Key});
    ProviderCanvas native;
    EmulatingCanvas emulated;
    for (Canvas* canvas : {static_cast<Canvas*>(&native), static_cast<Canvas*>(&emulated)}) {
        SCOPED_TRACE(canvas == &native ? "TransparentBlt" : "emulation");
        Solid(*canvas, 8, 3, Green);
        ASSERT_EQ(1, canvas->DrawBitmapTransparent(row.As<HBITMAP>(), 0, 1, 1, 0, 0, 0, 0, Key));
        EXPECT_EQ(Red, canvas->PixelAt(1, 1));
        EXPECT_EQ(Green, canvas->PixelAt(2, 1));
        EXPECT_EQ(Blue, canvas->PixelAt(3, 1));
        EXPECT_EQ(Green, canvas->PixelAt(4, 1));

        ASSERT_EQ(1, canvas->DrawBitmapTransparent(pair.As<HBITMAP>(), DRAW_TILE, 0, 0, 5, 1, 0, 0, Key));
        EXPECT_EQ(Red, canvas->PixelAt(4, 0));
        EXPECT_EQ(Green, canvas->PixelAt(3, 0));
        EXPECT_EQ(Green, canvas->PixelAt(5, 0));

        ASSERT_EQ(1, canvas->DrawBitmapTransparent(pair.As<HBITMAP>(), DRAW_STRETCH, 0, 2, 8, 3, 0, 0, Key));
        EXPECT_EQ(Red, canvas->PixelAt(3, 2));
        EXPECT_EQ(Green, canvas->PixelAt(4, 2));
    }
    // On the NT family the system's functions do the work.
    EXPECT_TRUE(native.HasProvider());
}

TEST(Canvas, GradientRunsFromColourOneToColourTwo) {
    Canvas canvas;
    Solid(canvas, 300, 3, White);
    ASSERT_EQ(1, canvas.GradientFill(Red, Blue, 1, Whole));
    EXPECT_EQ(Red, canvas.PixelAt(0, 0));
    EXPECT_EQ(Blue, canvas.PixelAt(299, 2));
    EXPECT_EQ(255, GetRValue(canvas.PixelAt(150, 1)) + GetBValue(canvas.PixelAt(150, 1)));
    for (int x = 1; x < 300; x++)
        ASSERT_LE(GetRValue(canvas.PixelAt(x, 1)), GetRValue(canvas.PixelAt(x - 1, 1))) << x;

    // 601 rows: bands of two rows, the topmost only one row high.
    Solid(canvas, 2, 601, White);
    ASSERT_EQ(1, canvas.GradientFill(RGB(10, 200, 30), RGB(250, 0, 90), 0, Whole));
    EXPECT_EQ(RGB(10, 200, 30), canvas.PixelAt(0, 0));
    EXPECT_EQ(RGB(250, 0, 90), canvas.PixelAt(1, 600));
    for (int y = 1; y < 601; y++)
        ASSERT_GE(GetRValue(canvas.PixelAt(0, y)), GetRValue(canvas.PixelAt(0, y - 1))) << y;

    Solid(canvas, 30, 4, White);
    RECT part = {10, 1, 20, 3}, empty = {5, 1, 5, 3};
    ASSERT_EQ(1, canvas.GradientFill(Red, Blue, 1, part));
    EXPECT_EQ(Red, canvas.PixelAt(10, 1));
    EXPECT_EQ(Blue, canvas.PixelAt(19, 2));
    EXPECT_EQ(White, canvas.PixelAt(9, 1));
    EXPECT_EQ(White, canvas.PixelAt(15, 3));
    EXPECT_EQ(1, canvas.GradientFill(Red, Blue, 1, empty));
    EXPECT_EQ(White, canvas.PixelAt(5, 1));
}

TEST(Canvas, EllipseIsFilledWithTheBrushAndOutlinedWithThePen) {
    Canvas canvas;
    Solid(canvas, 21, 21, White);
    ASSERT_EQ(1, canvas.DrawEllipse(Red, Blue, Whole));
    EXPECT_EQ(Blue, canvas.PixelAt(10, 10));
    EXPECT_EQ(Red, canvas.PixelAt(10, 0));
    EXPECT_EQ(White, canvas.PixelAt(0, 0));
    RECT inner = {5, 5, 16, 16};
    ASSERT_EQ(1, canvas.DrawEllipse(Green, Green, inner));
    EXPECT_EQ(Green, canvas.PixelAt(10, 10));
    EXPECT_EQ(Red, canvas.PixelAt(10, 0));
}

TEST(Canvas, BlitCopiesTheWholeCanvas) {
    Canvas source, target;
    Solid(source, 3, 2, Red);
    Solid(target, 10, 10, White);
    ASSERT_EQ(1, source.BlitTo(target.Dc(), 4, 5, SRCCOPY));
    EXPECT_EQ(Red, target.PixelAt(6, 6));
    EXPECT_EQ(White, target.PixelAt(7, 5));
    EXPECT_EQ(White, target.PixelAt(4, 7));
}

TEST(Canvas, WindowCanvasTakesTheClientSizeAndGivesWayToABitmap) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 40, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    Canvas canvas;
    ASSERT_EQ(1, canvas.AttachWindow(window));
    EXPECT_EQ(Canvas::WINDOW_DC, canvas.Kind());
    EXPECT_EQ(40, canvas.Width());
    EXPECT_EQ(30, canvas.Height());
    EXPECT_EQ(window, WindowFromDC(canvas.Dc()));
    // A bitmap cannot be selected into a window's DC: the canvas changes to a memory DC.
    ASSERT_EQ(1, canvas.CreateBitmap(4, -4, 1, 32, nullptr, 0));
    EXPECT_EQ(Canvas::MEMORY_DC, canvas.Kind());
    EXPECT_EQ(nullptr, WindowFromDC(canvas.Dc()));
    ASSERT_EQ(1, canvas.AttachWindow(window));
    EXPECT_EQ(1, canvas.Release());
    EXPECT_EQ(Canvas::NO_DC, canvas.Kind());
    EXPECT_EQ(0, canvas.Width());
    EXPECT_EQ(0, canvas.AttachWindow(nullptr));
    DestroyWindow(window);
}

TEST(Canvas, CanvasWithoutDcFailsItsDrawing) {
    GdiObject bitmap = Pixels(1, {Red});
    Canvas canvas;
    Solid(canvas, 2, 2, Red);
    EXPECT_EQ(0, canvas.DrawBitmap(nullptr, 0, 0, 0, 0, 0, 0, 0));
    canvas.Release();
    EXPECT_EQ(nullptr, canvas.Bitmap());
    EXPECT_EQ(nullptr, canvas.Bits());
    EXPECT_EQ(0, canvas.FillRectangle(Red, 0, 0, 0, 0));
    EXPECT_EQ(0, canvas.GradientFill(Red, Blue, 1, Whole));
    EXPECT_EQ(0, canvas.DrawEllipse(Red, Blue, Whole));
    EXPECT_EQ(0, canvas.DrawBitmap(bitmap.As<HBITMAP>(), 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(0, canvas.DrawBitmapTransparent(bitmap.As<HBITMAP>(), 0, 0, 0, 0, 0, 0, 0, Key));
    EXPECT_EQ(CLR_INVALID, canvas.PixelAt(0, 0));
}
