#include "update/PeHeader.h"

#include "base/KernelHandle.h"

namespace {

DWORD ReadDword(const BYTE* at) {
    return (DWORD)at[0] | (DWORD)at[1] << 8 | (DWORD)at[2] << 16 | (DWORD)at[3] << 24;
}

} // namespace

WORD PeHeader::ReadMachine(const wchar_t* path) {
    KernelHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    BYTE bytes[HeaderBytes];
    DWORD read = 0;
    if (!file.Valid() || !ReadFile(file.Get(), bytes, sizeof(bytes), &read, nullptr))
        return 0;
    return MachineOf(bytes, read);
}

// The file comes from the network: every offset is checked against the bytes there are before it is
// read, and the offset of the PE headers is taken as unsigned, so that a negative one is as far out of
// range as a huge one. Fields are read byte by byte: nothing here assumes the header is aligned.
WORD PeHeader::MachineOf(const BYTE* bytes, size_t size) {
    const size_t dosHeader = sizeof(IMAGE_DOS_HEADER), needed = 4 + sizeof(IMAGE_FILE_HEADER);
    if (!bytes || size < dosHeader || bytes[0] != 'M' || bytes[1] != 'Z')
        return 0;
    size_t at = ReadDword(bytes + offsetof(IMAGE_DOS_HEADER, e_lfanew));
    if (at > size || size - at < needed || bytes[at] != 'P' || bytes[at + 1] != 'E' || bytes[at + 2] || bytes[at + 3])
        return 0;
    const BYTE* machine = bytes + at + 4 + offsetof(IMAGE_FILE_HEADER, Machine);
    return (WORD)(machine[0] | machine[1] << 8);
}
