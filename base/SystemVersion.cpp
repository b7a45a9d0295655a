#include "base/SystemVersion.h"

#include "base/Library.h"

namespace {

DWORD VersionWord() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersion();
#pragma GCC diagnostic pop
}

DWORD AskCommonControlsVersion() {
    struct DllVersion {
        DWORD size, major, minor, build, platform;
    };
    typedef HRESULT(CALLBACK * DllGetVersionFn)(DllVersion*);
    Library comctl(L"comctl32.dll");
    DllGetVersionFn getVersion = comctl.Get<DllGetVersionFn>("DllGetVersion");
    if (!getVersion)
        return 0;
    DllVersion version = {sizeof(DllVersion), 0, 0, 0, 0};
    if (FAILED(getVersion(&version)))
        return 0;
    return (version.major << 16) | (version.minor & 0xFFFF);
}

} // namespace

int IsNtPlatform() {
    // The high bit of the version word is set on the DOS-based family only.
    return (VersionWord() & 0x80000000u) == 0;
}

unsigned WindowsMajorVersion() {
    return LOBYTE(LOWORD(VersionWord()));
}

DWORD CommonControlsVersion() {
    // The library a process has bound to does not change while it runs, and every image list asks.
    static const DWORD version = AskCommonControlsVersion();
    return version;
}
