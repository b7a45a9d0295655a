#pragma once
// One image as pixels in memory, which costs no GDI object however many are kept: the colour as GetDIBits
// reads it at 32 bits per pixel (rows top-down, 0xAARRGGBB, alpha 0 where the image has none) and the mask
// as CreateBitmap takes it (rows top-down, each padded to 2 bytes, a set bit transparent).

#include <windows.h>

#include <stddef.h>

#include <vector>

struct IconPixels {
    // Reads a colour bitmap and its mask (null for none) through dc; 0 when either cannot be read.
    int Read(HDC dc, HBITMAP colorBitmap, HBITMAP maskBitmap);
    // 1 when any pixel has alpha, which then decides over the mask, as common controls 6 take the image.
    int HasAlpha() const;

    static size_t MaskRowBytes(int width) { return ((size_t)width + 15) / 16 * 2; }

    int width = 0;
    int height = 0;
    // The depth of the bitmap the pixels came from (16, 24 or 32): an image list made later is given them
    // at that depth again, as it would have been given the bitmap.
    int bitCount = 32;
    std::vector<DWORD> color;
    // Empty for an image without a mask.
    std::vector<BYTE> mask;
};
