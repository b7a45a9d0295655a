#pragma once
// Sets the system's message font for the time of a test and puts the previous one back at the end.
// Nothing is written to the user's settings.

#include <windows.h>

class MessageFontOverride {
public:
    MessageFontOverride() {
        saved.cbSize = sizeof(saved);
        ok = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(saved), &saved, 0) != 0;
    }
    ~MessageFontOverride() {
        if (ok)
            SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(saved), &saved, 0);
    }
    MessageFontOverride(const MessageFontOverride&) = delete;
    MessageFontOverride& operator=(const MessageFontOverride&) = delete;

    bool Set(const wchar_t* face, LONG height) {
        NONCLIENTMETRICSW metrics = saved;
        metrics.lfMessageFont.lfHeight = height;
        lstrcpynW(metrics.lfMessageFont.lfFaceName, face, LF_FACESIZE);
        return ok && SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    }

private:
    NONCLIENTMETRICSW saved = {};
    bool ok = false;
};
