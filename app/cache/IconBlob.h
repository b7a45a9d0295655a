#pragma once
// Reading the icon-file (ICO) blobs of the icon cache: the checked directory walk that picks one image for a
// wanted size, and a fast decoder of the cache's own layout into the bitmap pair an image list takes.

#include "base/IconPixels.h"

#include <windows.h>

#include <stddef.h>

#include <vector>

// Image formats inside an icon file
enum : int {
    ICON_IMAGE_DIB = 1, // BITMAPINFOHEADER, colour table, colour rows, mask rows
    ICON_IMAGE_PNG = 2, // a PNG stream, decoded by the system
};

// The image picked from a blob. Every byte the image's own header describes lies inside data..data+size.
struct IconBlobImage {
    const unsigned char* data = nullptr;
    size_t size = 0;
    int isIcon = 0; // 1: icon file; 0: cursor file, whose image data lacks the hotspot
    // Cursor files only, from the directory entry.
    int hotspotX = 0;
    int hotspotY = 0;
    int entryWidth = 0; // the directory's width, 0 read as 256
    int exactFit = 0;   // 1 when entryWidth is the wanted size
    int format = 0;     // ICON_IMAGE_*
    // ICON_IMAGE_DIB only: the header's fields and the byte counts they imply.
    DWORD headerSize = 0;
    int width = 0;
    int height = 0; // of the colour image, half the header's height
    int bitCount = 0;
    DWORD compression = 0;
    int plainMasks = 0;        // BI_BITFIELDS at 32 bits with 8-bit red, green and blue: the pixels of BI_RGB
    DWORD colorTableBytes = 0; // colour table and bit-field masks
    DWORD colorBytes = 0;
    DWORD maskBytes = 0;
};

// Checks the header and every directory entry against the blob's size, picks the image for wantedSize pixels
// and checks that image's own header. 0 for a malformed blob or one without a usable image.
int PickIconImage(const unsigned char* blob, size_t size, int wantedSize, IconBlobImage* image);

// Bytes per row of a bottom-up DIB, padded to 4 bytes; 0 when it would not fit in 32 bits.
DWORD DibRowBytes(int width, int bitCount);

// Decodes the image PickIconImage chooses into a colour DIB section and a monochrome mask, ready for
// ImageList_Add. Only images in the layout IconHandle::ToBlob writes (40-byte header, 16, 24 or 32 bits, no
// colour table, BI_RGB) are handled; anything else gives 0, and the caller decodes with IconHandle::FromBlob.
// width and height are the image's own size, which may differ from wantedSize.
int BlobToBitmaps(const unsigned char* blob, size_t size, int wantedSize, HBITMAP* color, HBITMAP* mask, int* width,
                  int* height);

// The same image as pixels in memory, the colour read as GetDIBits reads the bitmaps above at 32 bits: what
// a deferred image list keeps, without a GDI object. 0 where BlobToBitmaps gives 0.
int BlobToPixels(const unsigned char* blob, size_t size, int wantedSize, IconPixels* pixels);

// The image of the module's icon resource id that the system would pick for wantedSize pixels, as an icon
// file of that one image: the program's own icons then take the fast path of BlobToBitmaps too. Under Wine
// ImageList_ReplaceIcon costs over a millisecond an icon, several times this.
int ResourceIconBlob(HMODULE module, int id, int wantedSize, std::vector<unsigned char>& blob);
