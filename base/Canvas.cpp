#include "base/Canvas.h"

#include "base/GdiObject.h"
#include "base/MemoryDc.h"
#include "base/ScopedDc.h"
#include "base/ScopedSelect.h"
#include "base/SystemVersion.h"

#include <stdlib.h>
#include <string.h>

namespace {

int BitmapSize(HBITMAP bitmap, int* width, int* height) {
    BITMAP info = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info))
        return 0;
    *width = info.bmWidth;
    // A size, whatever the row order of a DIB section.
    *height = abs(info.bmHeight);
    return 1;
}

int IsZero(const RECT& rect) {
    return !rect.left && !rect.top && !rect.right && !rect.bottom;
}

// One channel of the gradient, distance steps of total away from the color2 edge.
int Blend(int channel1, int channel2, int distance, int total) {
    return channel2 + (channel1 - channel2) * distance / total;
}

} // namespace

int Canvas::AttachWindow(HWND window) {
    Release();
    RECT client;
    if (!window || !GetClientRect(window, &client))
        return 0;
    dc = GetDC(window);
    if (!dc)
        return 0;
    this->window = window;
    dcKind = WINDOW_DC;
    width = client.right - client.left;
    height = client.bottom - client.top;
    return 1;
}

int Canvas::CreateBitmap(int width, int height, int dib, int bitsPerPixel, const RGBQUAD* colorTable,
                         int colorTableSize) {
    if (width <= 0 || height == 0)
        return 0;
    // A bitmap can only be selected into a memory DC, so a window's DC makes way for one.
    if (dcKind != MEMORY_DC) {
        Release();
        dc = CreateCompatibleDC(nullptr);
        if (!dc)
            return 0;
        dcKind = MEMORY_DC;
    } else if (bitmap) {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        bitmap = nullptr;
        bits = nullptr;
        previous = nullptr;
    }
    this->width = width;
    this->height = abs(height);

    if (dib) {
        if (colorTableSize < 0 || (colorTableSize && !colorTable))
            return 0;
        // Up to 8 bits per pixel GDI reads a full colour table when the header gives no count, so the
        // entries the caller did not give are there, black.
        int entries = colorTableSize;
        if (!entries && bitsPerPixel > 0 && bitsPerPixel <= 8)
            entries = 1 << bitsPerPixel;
        size_t size = sizeof(BITMAPINFOHEADER) + entries * sizeof(RGBQUAD);
        BITMAPINFO* info = static_cast<BITMAPINFO*>(calloc(1, size));
        if (!info)
            return 0;
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biWidth = width;
        // The sign chooses the row order: positive is bottom-up, negative top-down.
        info->bmiHeader.biHeight = height;
        info->bmiHeader.biPlanes = 1;
        info->bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
        info->bmiHeader.biCompression = BI_RGB;
        info->bmiHeader.biClrUsed = colorTableSize;
        if (colorTableSize)
            memcpy(info->bmiColors, colorTable, colorTableSize * sizeof(RGBQUAD));
        bitmap = CreateDIBSection(dc, info, DIB_RGB_COLORS, &bits, nullptr, 0);
        free(info);
    } else {
        // Compatible with the screen: a bitmap compatible with a fresh memory DC would be monochrome.
        ScopedDc screen;
        if (screen)
            bitmap = CreateCompatibleBitmap(screen, this->width, this->height);
    }
    if (!bitmap) {
        bits = nullptr;
        return 0;
    }
    previous = SelectObject(dc, bitmap);
    if (!previous) {
        DeleteObject(bitmap);
        bitmap = nullptr;
        bits = nullptr;
        return 0;
    }
    return 1;
}

int Canvas::Release() {
    if (dc && bitmap && previous)
        SelectObject(dc, previous);
    if (bitmap)
        DeleteObject(bitmap);
    if (dc) {
        if (dcKind == MEMORY_DC)
            DeleteDC(dc);
        else if (dcKind == WINDOW_DC)
            ReleaseDC(window, dc);
    }
    window = nullptr;
    previous = nullptr;
    dc = nullptr;
    bitmap = nullptr;
    bits = nullptr;
    width = 0;
    height = 0;
    dcKind = NO_DC;
    return 1;
}

int Canvas::BlitTo(HDC target, int x, int y, DWORD rasterOperation) const {
    if (!dc || !target)
        return 0;
    return BitBlt(target, x, y, width, height, dc, 0, 0, rasterOperation) != 0;
}

int Canvas::DrawBitmap(HBITMAP bitmap, unsigned flags, int left, int top, int right, int bottom, int sourceX,
                       int sourceY) {
    return Draw(bitmap, flags, left, top, right, bottom, sourceX, sourceY, 0, 0);
}

int Canvas::DrawBitmapTransparent(HBITMAP bitmap, unsigned flags, int left, int top, int right, int bottom, int sourceX,
                                  int sourceY, COLORREF key) {
    return Draw(bitmap, flags, left, top, right, bottom, sourceX, sourceY, 1, key);
}

int Canvas::Draw(HBITMAP source, unsigned flags, int left, int top, int right, int bottom, int sourceX, int sourceY,
                 int transparent, COLORREF key) {
    int sourceWidth, sourceHeight;
    if (!dc || !BitmapSize(source, &sourceWidth, &sourceHeight))
        return 0;
    if (!right)
        right = left + sourceWidth;
    if (!bottom)
        bottom = top + sourceHeight;
    MemoryDc memory(dc);
    if (!memory)
        return 0;
    ScopedSelect selected(memory, source);
    if (!selected.Selected())
        return 0;

    if (flags & DRAW_STRETCH) {
        // HALFTONE averages the pixels a shrinking stretch drops; where it is refused, COLORONCOLOR at
        // least keeps colours from being ANDed together. HALFTONE also needs the brush origin reset.
        int oldMode = SetStretchBltMode(dc, HALFTONE);
        if (oldMode)
            SetBrushOrgEx(dc, 0, 0, nullptr);
        else
            oldMode = SetStretchBltMode(dc, COLORONCOLOR);
        int result =
            Copy(left, top, right - left, bottom - top, memory, 0, 0, sourceWidth, sourceHeight, transparent, key);
        if (oldMode)
            SetStretchBltMode(dc, oldMode);
        return result;
    }
    if (flags & DRAW_TILE) {
        if (sourceWidth <= 0 || sourceHeight <= 0)
            return 0;
        for (int y = top; y < bottom; y += sourceHeight) {
            int rowHeight = bottom - y < sourceHeight ? bottom - y : sourceHeight;
            for (int x = left; x < right; x += sourceWidth) {
                int columnWidth = right - x < sourceWidth ? right - x : sourceWidth;
                if (!Copy(x, y, columnWidth, rowHeight, memory, 0, 0, columnWidth, rowHeight, transparent, key))
                    return 0;
            }
        }
        return 1;
    }
    return Copy(left, top, right - left, bottom - top, memory, sourceX, sourceY, right - left, bottom - top,
                transparent, key);
}

int Canvas::Copy(int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int sourceWidth,
                 int sourceHeight, int transparent, COLORREF key) {
    if (transparent)
        return TransparentBlit(dc, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, key);
    if (width == sourceWidth && height == sourceHeight)
        return BitBlt(dc, x, y, width, height, source, sourceX, sourceY, SRCCOPY) != 0;
    return StretchBlt(dc, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, SRCCOPY) != 0;
}

void Canvas::LoadProvider() {
    if (provider.loaded)
        return;
    provider.loaded = 1;
    if (!provider.msimg32.Load(L"msimg32.dll"))
        return;
    // TransparentBlt of Windows 95 and 98 leaks memory with every call; there the emulation is used.
    if (IsNtPlatform())
        provider.transparentBlt = provider.msimg32.Get<TransparentBltFn>("TransparentBlt");
    provider.alphaBlend = provider.msimg32.Get<AlphaBlendFn>("AlphaBlend");
}

int Canvas::TransparentBlit(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                            int sourceWidth, int sourceHeight, COLORREF key) {
    if (!target || !source || width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return 0;
    LoadProvider();
    if (provider.transparentBlt)
        return provider.transparentBlt(target, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight,
                                       key) != 0;
    return EmulateTransparentBlit(target, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight,
                                  key);
}

int Canvas::EmulateTransparentBlit(HDC target, int x, int y, int width, int height, HDC source, int sourceX,
                                   int sourceY, int sourceWidth, int sourceHeight, COLORREF key) {
    // Both regions as 32-bit top-down pixels of the destination's size; the background then takes the
    // source's pixels that are not of the key colour and goes back to the destination.
    Canvas foreground, background;
    if (!foreground.CreateBitmap(width, -height, 1, 32, nullptr, 0) ||
        !background.CreateBitmap(width, -height, 1, 32, nullptr, 0))
        return 0;
    SetStretchBltMode(foreground.dc, COLORONCOLOR);
    SetStretchBltMode(background.dc, COLORONCOLOR);
    if (!StretchBlt(foreground.dc, 0, 0, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, SRCCOPY) ||
        !StretchBlt(background.dc, 0, 0, width, height, target, x, y, width, height, SRCCOPY))
        return 0;
    // GDI has finished writing into the sections only after a flush.
    GdiFlush();
    // A COLORREF is 0x00BBGGRR, a 32-bit DIB pixel 0x00RRGGBB.
    DWORD keyPixel = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
    const DWORD* from = static_cast<const DWORD*>(foreground.bits);
    DWORD* to = static_cast<DWORD*>(background.bits);
    for (int i = 0, count = width * height; i < count; i++) {
        if ((from[i] & 0xFFFFFF) != keyPixel)
            to[i] = from[i];
    }
    return BitBlt(target, x, y, width, height, background.dc, 0, 0, SRCCOPY) != 0;
}

RECT Canvas::Area(const RECT& rect) const {
    if (!IsZero(rect))
        return rect;
    RECT whole = {0, 0, width, height};
    int bitmapWidth, bitmapHeight;
    if (BitmapSize(bitmap, &bitmapWidth, &bitmapHeight)) {
        whole.right = bitmapWidth;
        whole.bottom = bitmapHeight;
    }
    return whole;
}

int Canvas::FillRectangle(COLORREF color, int left, int top, int right, int bottom) {
    if (!dc)
        return 0;
    RECT given = {left, top, right, bottom};
    RECT area = Area(given);
    GdiObject brush(CreateSolidBrush(color));
    if (!brush.Handle())
        return 0;
    return FillRect(dc, &area, brush.As<HBRUSH>()) != 0;
}

int Canvas::GradientFill(COLORREF color1, COLORREF color2, int horizontal, const RECT& rect) {
    if (!dc)
        return 0;
    RECT area = Area(rect);
    if (IsRectEmpty(&area))
        return 1;
    int extent = horizontal ? area.right - area.left : area.bottom - area.top;
    int band = extent / 255;
    if (band < 1)
        band = 1;
    // Distance of the band farthest from the color2 edge: giving it the full color1 puts color1 on the
    // first row (column) as well, however the extent divides into bands.
    int farthest = (extent - 1) / band * band;
    if (farthest < 1)
        farthest = 1;
    for (int distance = 0; distance < extent; distance += band) {
        COLORREF color = RGB(Blend(GetRValue(color1), GetRValue(color2), distance, farthest),
                             Blend(GetGValue(color1), GetGValue(color2), distance, farthest),
                             Blend(GetBValue(color1), GetBValue(color2), distance, farthest));
        RECT part = area;
        if (horizontal) {
            part.right = area.right - distance;
            part.left = part.right - band > area.left ? part.right - band : area.left;
        } else {
            part.bottom = area.bottom - distance;
            part.top = part.bottom - band > area.top ? part.bottom - band : area.top;
        }
        if (!FillRectangle(color, part.left, part.top, part.right, part.bottom))
            return 0;
    }
    return 1;
}

int Canvas::DrawEllipse(COLORREF penColor, COLORREF brushColor, const RECT& rect) {
    if (!dc)
        return 0;
    RECT area = Area(rect);
    GdiObject brush(CreateSolidBrush(brushColor));
    // Without an outline of its own colour the ellipse is the filled shape alone.
    GdiObject pen(CreatePen(penColor == brushColor ? PS_NULL : PS_SOLID, 0, penColor));
    if (!brush.Handle() || !pen.Handle())
        return 0;
    ScopedSelect selectedBrush(dc, brush.Handle());
    ScopedSelect selectedPen(dc, pen.Handle());
    if (!selectedBrush.Selected() || !selectedPen.Selected())
        return 0;
    return Ellipse(dc, area.left, area.top, area.right, area.bottom) != 0;
}

COLORREF Canvas::PixelAt(int x, int y) const {
    if (!dc)
        return CLR_INVALID;
    return GetPixel(dc, x, y);
}
