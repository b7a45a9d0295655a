#include "base/IconPixels.h"

#include <stdlib.h>

int IconPixels::Read(HDC dc, HBITMAP colorBitmap, HBITMAP maskBitmap) {
    BITMAP info = {};
    if (!dc || !colorBitmap || !GetObjectW(colorBitmap, sizeof(info), &info) || info.bmWidth <= 0 || !info.bmHeight)
        return 0;
    width = info.bmWidth;
    height = abs(info.bmHeight);
    // Palette images are given again at 32 bits, which keeps their colours.
    bitCount = info.bmBitsPixel == 16 || info.bmBitsPixel == 24 ? info.bmBitsPixel : 32;
    BITMAPINFO request = {};
    request.bmiHeader = {sizeof(request.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    color.assign((size_t)width * height, 0);
    if (GetDIBits(dc, colorBitmap, 0, (UINT)height, color.data(), &request, DIB_RGB_COLORS) != height)
        return 0;
    mask.clear();
    if (!maskBitmap)
        return 1;
    // Read at 32 bits as well: whatever the mask's own depth, a pixel that is not black is transparent.
    std::vector<DWORD> rows((size_t)width * height);
    request.bmiHeader = {sizeof(request.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    if (GetDIBits(dc, maskBitmap, 0, (UINT)height, rows.data(), &request, DIB_RGB_COLORS) != height)
        return 0;
    size_t rowBytes = MaskRowBytes(width);
    mask.assign(rowBytes * height, 0);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            if (rows[(size_t)y * width + x] & 0xFFFFFF)
                mask[y * rowBytes + x / 8] |= (BYTE)(0x80 >> (x % 8));
        }
    }
    return 1;
}

int IconPixels::HasAlpha() const {
    for (DWORD pixel : color) {
        if (pixel >> 24)
            return 1;
    }
    return 0;
}
