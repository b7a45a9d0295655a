#pragma once
// A picture of our own, row by row as 0xRRGGBB: the screen's pixels copied off it (Wine's GetPixel on the
// screen answers nothing), or an icon painted on a background.

#include <windows.h>

#include <math.h>

#include <vector>

struct Pixels {
    int width = 0, height = 0;
    std::vector<DWORD> data;
    DWORD At(int x, int y) const { return data[(size_t)y * width + x] & 0xFFFFFF; }

    // What the screen shows in the area, as the user sees it; empty when it cannot be read.
    static Pixels OfScreen(const RECT& area) {
        return Draw(area.right - area.left, area.bottom - area.top, &area, 0, nullptr);
    }
    static Pixels OfWindow(HWND window) {
        RECT area = {};
        GetWindowRect(window, &area);
        return OfScreen(area);
    }
    // A 0xRRGGBB pixel's relative luminance, from which contrast ratios are computed.
    static double Luminance(DWORD pixel) {
        double sum = 0, weights[3] = {0.0722, 0.7152, 0.2126};
        for (int i = 0; i < 3; i++) {
            double c = ((pixel >> (8 * i)) & 0xFF) / 255.0;
            sum += weights[i] * (c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4));
        }
        return sum;
    }
    // The contrast of the lightest pixel against the darkest: 1 for one colour, 21 for black and white.
    double Contrast() const {
        double lightest = 0, darkest = 1;
        for (DWORD pixel : data) {
            lightest = fmax(lightest, Luminance(pixel & 0xFFFFFF));
            darkest = fmin(darkest, Luminance(pixel & 0xFFFFFF));
        }
        return (lightest + 0.05) / (darkest + 0.05);
    }
    double MeanLuminance() const {
        double sum = 0;
        for (DWORD pixel : data)
            sum += Luminance(pixel & 0xFFFFFF);
        return data.empty() ? 0 : sum / data.size();
    }
    static Pixels OfIcon(int width, int height, COLORREF background, HICON icon) {
        return Draw(width, height, nullptr, background, icon);
    }

private:
    static Pixels Draw(int width, int height, const RECT* area, COLORREF background, HICON icon) {
        Pixels picture;
        if (width <= 0 || height <= 0)
            return picture;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap && bits) {
            HGDIOBJ old = SelectObject(dc, bitmap);
            if (area) {
                BitBlt(dc, 0, 0, width, height, screen, area->left, area->top, SRCCOPY);
            } else {
                HBRUSH brush = CreateSolidBrush(background);
                RECT all = {0, 0, width, height};
                FillRect(dc, &all, brush);
                DeleteObject(brush);
                DrawIconEx(dc, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
            }
            GdiFlush();
            picture.width = width;
            picture.height = height;
            picture.data.assign((const DWORD*)bits, (const DWORD*)bits + (size_t)width * height);
            SelectObject(dc, old);
            DeleteObject(bitmap);
        }
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return picture;
    }
};
