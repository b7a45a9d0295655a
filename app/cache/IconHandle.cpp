#include "app/cache/IconHandle.h"

#include "app/cache/IconBlob.h"
#include "base/GdiObject.h"
#include "base/ScopedDc.h"

#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <stdint.h>

namespace {

const DWORD InfoHeaderBytes = 40;
const DWORD ImageOffset = 22; // file header and one directory entry

void Put8(std::vector<unsigned char>& buffer, unsigned value) {
    buffer.push_back(static_cast<unsigned char>(value));
}

void Put16(std::vector<unsigned char>& buffer, unsigned value) {
    Put8(buffer, value & 0xFF);
    Put8(buffer, (value >> 8) & 0xFF);
}

void Put32(std::vector<unsigned char>& buffer, DWORD value) {
    Put16(buffer, value & 0xFFFF);
    Put16(buffer, value >> 16);
}

template <typename T> class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (object)
            object->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* object = nullptr;
};

// Appends the bytes from..from+count of a stream on global memory, which must all have been written.
int AppendStreamBytes(IStream* stream, ULONGLONG from, ULONGLONG count, std::vector<unsigned char>& buffer) {
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER written = {};
    HGLOBAL memory = nullptr;
    if (FAILED(stream->Seek(zero, STREAM_SEEK_CUR, &written)) || FAILED(GetHGlobalFromStream(stream, &memory)) ||
        !memory)
        return 0;
    // The stream's block may be larger than what was written, never smaller.
    if (from > written.QuadPart || count > written.QuadPart - from || written.QuadPart > GlobalSize(memory))
        return 0;
    const unsigned char* data = static_cast<const unsigned char*>(GlobalLock(memory));
    if (!data)
        return 0;
    buffer.insert(buffer.end(), data + from, data + from + count);
    GlobalUnlock(memory);
    return 1;
}

// Wine's picture object saves as a file only the bytes it was loaded from, so for a picture made from a handle
// SaveAsFile succeeds and writes nothing. Its IPersistStream::Save does serialise the icon, behind the 8-byte
// header of persisted pictures: the tag "lt\0\0" and the length of the data that follows.
int AppendPersistedPicture(IPicture* picture, std::vector<unsigned char>& buffer) {
    ComRef<IPersistStream> persist;
    ComRef<IStream> stream;
    if (FAILED(picture->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist.object))) ||
        !persist.object || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream.object)) || !stream.object ||
        FAILED(persist.object->Save(stream.object, TRUE)))
        return 0;
    std::vector<unsigned char> header;
    if (!AppendStreamBytes(stream.object, 0, 8, header) || header[0] != 'l' || header[1] != 't' || header[2] ||
        header[3])
        return 0;
    DWORD length = header[4] | (header[5] << 8) | (header[6] << 16) | (static_cast<DWORD>(header[7]) << 24);
    return length && AppendStreamBytes(stream.object, 8, length, buffer);
}

// Cursors and colour depths below 16 bits need a hotspot or a colour table, which our own layout leaves out;
// the picture object writes a complete icon file for them.
int AppendPicture(HICON icon, std::vector<unsigned char>& buffer) {
    PICTDESC description = {};
    // 20 bytes in a 32-bit process; the union holds pointers, so the size differs in a 64-bit one.
    description.cbSizeofstruct = sizeof(description);
    description.picType = PICTYPE_ICON;
    description.icon.hicon = icon;
    ComRef<IPicture> picture;
    // fOwn FALSE: the icon stays ours.
    if (FAILED(
            OleCreatePictureIndirect(&description, IID_IPicture, FALSE, reinterpret_cast<void**>(&picture.object))) ||
        !picture.object)
        return 0;
    ComRef<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream.object)) || !stream.object)
        return 0;
    LONG bytes = 0;
    if (FAILED(picture.object->SaveAsFile(stream.object, TRUE, &bytes)) || bytes < 0)
        return 0;
    if (!bytes)
        return AppendPersistedPicture(picture.object, buffer);
    return AppendStreamBytes(stream.object, 0, static_cast<ULONGLONG>(bytes), buffer);
}

} // namespace

IconHandle::IconHandle(IconHandle&& other) noexcept : icon(other.icon), owned(other.owned) {
    other.icon = nullptr;
    other.owned = BORROWED;
}

IconHandle& IconHandle::operator=(IconHandle&& other) noexcept {
    if (this != &other) {
        Set(other.icon, other.owned);
        other.icon = nullptr;
        other.owned = BORROWED;
    }
    return *this;
}

void IconHandle::Set(HICON icon, Ownership owned) {
    // Setting the held icon again must not destroy it.
    if (icon != this->icon)
        Release();
    this->icon = icon;
    this->owned = owned;
}

void IconHandle::Release() {
    if (icon && owned)
        DestroyIcon(icon);
    icon = nullptr;
    owned = BORROWED;
}

int IconHandle::FromBlob(const unsigned char* blob, size_t size, int wantedSize, Ownership owned) {
    Release();
    IconBlobImage image;
    // The image and everything its header describes lie inside the blob once picked: CreateIconFromResourceEx
    // trusts the header, and GCC has no structured-exception blocks to catch a read past the end.
    if (!PickIconImage(blob, size, wantedSize, &image))
        return 0;
    const unsigned char* data = image.data;
    size_t bytes = image.size;
    // Wine's decoder loses the mask of a 32-bit image whose channels are given as bit fields, which is how
    // Wine's own picture object writes icons; with the usual masks the pixels are those of BI_RGB.
    int plain = image.plainMasks && image.headerSize == InfoHeaderBytes;
    std::vector<unsigned char> copy;
    if (!image.isIcon || plain) {
        copy.reserve(4 + bytes);
        if (!image.isIcon) {
            // A cursor resource begins with its hotspot; a cursor file keeps the hotspot in the directory.
            Put16(copy, image.hotspotX);
            Put16(copy, image.hotspotY);
        }
        size_t header = copy.size();
        if (plain) {
            copy.insert(copy.end(), data, data + InfoHeaderBytes);
            copy.insert(copy.end(), data + InfoHeaderBytes + 12, data + bytes);
            copy[header + 16] = BI_RGB; // biCompression, whose other bytes are 0 for BI_BITFIELDS as well
        } else {
            copy.insert(copy.end(), data, data + bytes);
        }
        data = copy.data();
        bytes = copy.size();
    }
    if (bytes > 0xFFFFFFFFu)
        return 0;
    int side = image.exactFit ? wantedSize : image.entryWidth;
    HICON decoded = CreateIconFromResourceEx(const_cast<PBYTE>(data), static_cast<DWORD>(bytes), image.isIcon,
                                             0x00030000, side, side, LR_DEFAULTCOLOR);
    if (!decoded)
        return 0;
    Set(decoded, owned);
    return 1;
}

int IconHandle::ToBlob(std::vector<unsigned char>& buffer) const {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return 0;
    // GetIconInfo hands out copies of both bitmaps, which the caller deletes.
    GdiObject color(info.hbmColor);
    GdiObject mask(info.hbmMask);
    if (!info.fIcon)
        return AppendPicture(icon, buffer);

    BITMAP colorInfo = {};
    BITMAP maskInfo = {};
    // A monochrome icon has no colour bitmap; its mask holds both halves.
    if (!info.hbmColor || !GetObjectW(info.hbmColor, sizeof(colorInfo), &colorInfo) || !info.hbmMask ||
        !GetObjectW(info.hbmMask, sizeof(maskInfo), &maskInfo))
        return 0;
    int bitCount = colorInfo.bmBitsPixel;
    if (bitCount < 16)
        return AppendPicture(icon, buffer);
    int width = colorInfo.bmWidth;
    int height = colorInfo.bmHeight;
    if (maskInfo.bmWidth != width || maskInfo.bmHeight != height || height <= 0 || width <= 0 || bitCount > 32)
        return 0;
    uint64_t colorBytes = static_cast<uint64_t>(DibRowBytes(width, bitCount)) * height;
    uint64_t maskBytes = static_cast<uint64_t>(DibRowBytes(width, 1)) * height;
    if (colorBytes + maskBytes + InfoHeaderBytes > 0xFFFFFFFFu)
        return 0;
    DWORD imageBytes = static_cast<DWORD>(colorBytes + maskBytes);
    ScopedDc screen;
    if (!screen)
        return 0;

    Put16(buffer, 0); // reserved
    Put16(buffer, 1); // icon
    Put16(buffer, 1); // one image
    Put8(buffer, width & 0xFF);
    Put8(buffer, height & 0xFF);
    Put8(buffer, 0); // colour count: no colour table at 16 bits and more
    Put8(buffer, 0);
    Put16(buffer, colorInfo.bmPlanes);
    Put16(buffer, bitCount);
    Put32(buffer, imageBytes + InfoHeaderBytes);
    Put32(buffer, ImageOffset);

    Put32(buffer, InfoHeaderBytes);
    Put32(buffer, width);
    Put32(buffer, height * 2); // colour rows, then mask rows
    Put16(buffer, 1);
    Put16(buffer, bitCount);
    Put32(buffer, BI_RGB);
    Put32(buffer, imageBytes);
    for (int i = 0; i < 4; i++)
        Put32(buffer, 0); // resolution and colour counts
    // Room for the two colour-table entries GetDIBits writes for the mask.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } request = {};
    request.header.biSize = sizeof(BITMAPINFOHEADER);
    request.header.biWidth = width;
    request.header.biHeight = height;
    request.header.biPlanes = 1;
    request.header.biBitCount = static_cast<WORD>(bitCount);
    request.header.biCompression = BI_RGB;
    size_t start = buffer.size();
    buffer.resize(start + static_cast<size_t>(colorBytes), 0);
    if (GetDIBits(screen, info.hbmColor, 0, height, &buffer[start], reinterpret_cast<BITMAPINFO*>(&request),
                  DIB_RGB_COLORS) != height) {
        buffer.resize(start);
        return 0;
    }
    request.header.biBitCount = 1;
    request.header.biHeight = maskInfo.bmHeight;
    start = buffer.size();
    buffer.resize(start + static_cast<size_t>(maskBytes), 0);
    if (GetDIBits(screen, info.hbmMask, 0, height, &buffer[start], reinterpret_cast<BITMAPINFO*>(&request),
                  DIB_RGB_COLORS) != height) {
        buffer.resize(start);
        return 0;
    }
    return 1;
}
