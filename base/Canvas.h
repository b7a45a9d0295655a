#pragma once
// A device context with an optional bitmap selected into it, and the drawing the owner-drawn controls need:
// blits, tiling, halftone stretching, colour-keyed transparency, solid and gradient fills, ellipses.

#include "base/Library.h"

#include <windows.h>

// DrawBitmap flags
enum : unsigned {
    DRAW_TILE = 0x1,    // repeat the bitmap over the rectangle
    DRAW_STRETCH = 0x2, // stretch the whole bitmap over the rectangle
};

class Canvas {
public:
    enum DcKind { MEMORY_DC = 0, WINDOW_DC = 1, NO_DC = 2 };

    Canvas() = default;
    ~Canvas() { Release(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int AttachWindow(HWND window);
    // A negative height makes a DIB section top-down; colorTableSize counts RGBQUAD entries.
    int CreateBitmap(int width, int height, int dib, int bitsPerPixel, const RGBQUAD* colorTable, int colorTableSize);
    int Release();
    int BlitTo(HDC target, int x, int y, DWORD rasterOperation) const;
    // right or bottom 0: the bitmap's own width or height from left or top. GDI selects a bitmap into one
    // DC at a time, so the bitmap must not be selected anywhere else (another canvas's bitmap is).
    int DrawBitmap(HBITMAP bitmap, unsigned flags, int left, int top, int right, int bottom, int sourceX, int sourceY);
    // As DrawBitmap, leaving the pixels of the key colour out.
    int DrawBitmapTransparent(HBITMAP bitmap, unsigned flags, int left, int top, int right, int bottom, int sourceX,
                              int sourceY, COLORREF key);
    // An all-zero rectangle means the whole canvas, here and in the operations below.
    int FillRectangle(COLORREF color, int left, int top, int right, int bottom);
    // color1 at the left (top) edge, color2 at the right (bottom) edge.
    int GradientFill(COLORREF color1, COLORREF color2, int horizontal, const RECT& rect);
    int DrawEllipse(COLORREF penColor, COLORREF brushColor, const RECT& rect);
    // CLR_INVALID outside the canvas or without a DC.
    COLORREF PixelAt(int x, int y) const;
    // TransparentBlt's arguments; the key colour's pixels of the source are not copied.
    int TransparentBlit(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                        int sourceWidth, int sourceHeight, COLORREF key);

    HDC Dc() const { return dc; }
    HBITMAP Bitmap() const { return bitmap; }
    void* Bits() const { return bits; }
    int Width() const { return width; }
    int Height() const { return height; }
    DcKind Kind() const { return dcKind; }

protected:
    typedef BOOL(WINAPI* TransparentBltFn)(HDC, int, int, int, int, HDC, int, int, int, int, UINT);
    typedef BOOL(WINAPI* AlphaBlendFn)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

    // msimg32 is loaded on first use rather than imported: the program must start where it is missing.
    struct BlitProvider {
        Library msimg32;
        TransparentBltFn transparentBlt = nullptr;
        AlphaBlendFn alphaBlend = nullptr;
        int loaded = 0;
    };

    BlitProvider provider;

private:
    void LoadProvider();
    int EmulateTransparentBlit(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                               int sourceWidth, int sourceHeight, COLORREF key);
    int Draw(HBITMAP source, unsigned flags, int left, int top, int right, int bottom, int sourceX, int sourceY,
             int transparent, COLORREF key);
    int Copy(int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int sourceWidth,
             int sourceHeight, int transparent, COLORREF key);
    RECT Area(const RECT& rect) const;

    HWND window = nullptr;
    HGDIOBJ previous = nullptr;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    void* bits = nullptr;
    int width = 0;
    int height = 0;
    DcKind dcKind = NO_DC;
};
