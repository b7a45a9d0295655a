#include "app/shell/AppIcon.h"

#include "base/ComPtr.h"

#include <objbase.h>
#include <shobjidl.h>

#include <vector>

int AppIcon::Look(const wchar_t* itemPath, int size, WString& name, HICON* icon) {
    *icon = nullptr;
    ComPtr<IShellItem> item;
    if (FAILED(SHCreateItemFromParsingName(itemPath, nullptr, IID_IShellItem, item.OutVoid())))
        return 0;
    PWSTR display = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_NORMALDISPLAY, &display)) && display) {
        if (*display)
            name.Assign(display);
        CoTaskMemFree(display);
    }
    // The icon alone, scaled by the shell to fit: never the tile's image (a thumbnail) or its plate
    // (SIIGBF_ICONBACKGROUND).
    ComPtr<IShellItemImageFactory> images;
    HBITMAP image = nullptr;
    if (FAILED(item->QueryInterface(IID_IShellItemImageFactory, images.OutVoid())) ||
        FAILED(images->GetImage(SIZE{size, size}, SIIGBF_RESIZETOFIT | SIIGBF_ICONONLY, &image)) || !image)
        return 0;
    *icon = IconFromImage(image, size);
    DeleteObject(image);
    return *icon != nullptr;
}

HICON AppIcon::IconFromImage(HBITMAP image, int size) {
    BITMAP shape = {};
    if (size <= 0 || !GetObjectW(image, sizeof(shape), &shape) || shape.bmBitsPixel != 32 || shape.bmWidth <= 0 ||
        shape.bmWidth > size || shape.bmHeight == 0 || abs(shape.bmHeight) > size)
        return nullptr;
    int width = shape.bmWidth, height = abs(shape.bmHeight);
    // Read top-down, whatever the image's own row order.
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> source((size_t)width * height);
    HDC screen = GetDC(nullptr);
    int read = GetDIBits(screen, image, 0, (UINT)height, source.data(), &format, DIB_RGB_COLORS);
    // The icon's colour image: straight (not premultiplied) alpha, which is what icons hold.
    format.bmiHeader.biWidth = size;
    format.bmiHeader.biHeight = -size;
    void* bits = nullptr;
    HBITMAP colour = read == height ? CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    ReleaseDC(nullptr, screen);
    if (!colour)
        return nullptr;
    DWORD* target = static_cast<DWORD*>(bits);
    const int left = (size - width) / 2, top = (size - height) / 2;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            DWORD pixel = source[(size_t)y * width + x];
            DWORD alpha = pixel >> 24;
            if (alpha && alpha < 255) {
                DWORD red = ((pixel >> 16 & 0xFF) * 255 + alpha / 2) / alpha;
                DWORD green = ((pixel >> 8 & 0xFF) * 255 + alpha / 2) / alpha;
                DWORD blue = ((pixel & 0xFF) * 255 + alpha / 2) / alpha;
                pixel = alpha << 24 | (red > 255 ? 255 : red) << 16 | (green > 255 ? 255 : green) << 8 |
                        (blue > 255 ? 255 : blue);
            }
            target[(size_t)(top + y) * size + left + x] = pixel;
        }
    }
    // With a colour image that has alpha, the mask is not drawn; it is there, all opaque, because an icon
    // needs one (rows of whole 16-bit words).
    std::vector<BYTE> opaque((size_t)((size + 15) / 16 * 2) * size, 0);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, opaque.data());
    ICONINFO parts = {TRUE, 0, 0, mask, colour};
    HICON icon = mask ? CreateIconIndirect(&parts) : nullptr;
    if (mask)
        DeleteObject(mask);
    DeleteObject(colour);
    return icon;
}
