#include "framework/MonitorDpi.h"

#include "base/Library.h"

#include <stddef.h>

namespace {

typedef HRESULT(WINAPI* GetDpiForMonitorFn)(HMONITOR, int, UINT*, UINT*);
typedef int(WINAPI* GetSystemMetricsForDpiFn)(int, UINT);
typedef BOOL(WINAPI* SystemParametersInfoForDpiFn)(UINT, UINT, void*, UINT, UINT);

// The libraries stay loaded for the process: user32 always is, and shcore is asked at every menu.
struct DpiFunctions {
    GetDpiForMonitorFn forMonitor = nullptr;
    GetSystemMetricsForDpiFn metrics = nullptr;
    SystemParametersInfoForDpiFn parameters = nullptr;
    DpiFunctions() {
        Library shcore;
        if (shcore.Load(L"shcore.dll")) {
            forMonitor = shcore.Get<GetDpiForMonitorFn>("GetDpiForMonitor");
            shcore.Detach();
        }
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        metrics = (GetSystemMetricsForDpiFn)(void*)GetProcAddress(user32, "GetSystemMetricsForDpi");
        parameters = (SystemParametersInfoForDpiFn)(void*)GetProcAddress(user32, "SystemParametersInfoForDpi");
    }
};

const DpiFunctions& Functions() {
    static DpiFunctions functions;
    return functions;
}

} // namespace

void MonitorDpi::DeclareAware() {
    // Asked first: whether a later call would lower what the manifest declared is not documented, and the
    // awareness the program's manifest gives (per monitor) is the one its menus and dialogs are made for.
    // Programs without that manifest, such as test programs, are declared aware of the system's scale.
    typedef BOOL(WINAPI * AwareFn)();
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    AwareFn isAware = (AwareFn)(void*)GetProcAddress(user32, "IsProcessDPIAware");
    AwareFn setAware = (AwareFn)(void*)GetProcAddress(user32, "SetProcessDPIAware");
    if (setAware && !(isAware && isAware()))
        setAware();
}

UINT MonitorDpi::System() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? (UINT)dpi : 96;
}

UINT MonitorDpi::AtPoint(POINT point) {
    UINT x = 0, y = 0;
    HMONITOR monitor = MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST);
    // MDT_EFFECTIVE_DPI (0): the scale the user chose for the monitor, as this per-monitor aware process
    // is told it.
    if (Functions().forMonitor && monitor && SUCCEEDED(Functions().forMonitor(monitor, 0, &x, &y)) && y >= 48)
        return y;
    return System();
}

int MonitorDpi::Metric(int index, UINT dpi) {
    if (Functions().metrics)
        return Functions().metrics(index, dpi);
    return MulDiv(GetSystemMetrics(index), (int)dpi, (int)System());
}

int MonitorDpi::MenuFont(UINT dpi, LOGFONTW& font) {
    NONCLIENTMETRICSW metrics = {};
    if (Functions().parameters) {
        metrics.cbSize = sizeof(metrics);
        if (!Functions().parameters(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi))
            return 0;
        font = metrics.lfMenuFont;
        return 1;
    }
    // The structure without the padded border width of Vista: the size every Windows version accepts.
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        return 0;
    font = metrics.lfMenuFont;
    UINT system = System();
    if (dpi != system)
        font.lfHeight = MulDiv(font.lfHeight, (int)dpi, (int)system);
    return 1;
}
