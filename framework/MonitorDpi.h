#pragma once
// The dots per inch of a monitor and what the system sizes at them, for a program aware of each
// monitor's scale: menus and icons made for the monitor they appear on. The functions of Windows 8.1 and
// 10 are looked up at run time; before them every monitor has the system's dots per inch.

#include <windows.h>

class MonitorDpi {
public:
    // Makes a process that declared nothing aware of the system's dots per inch, so that the system does not
    // stretch its windows' drawing; a process the manifest made aware of each monitor's stays so.
    static void DeclareAware();
    // The system's dots per inch, the one Windows had when the user logged on.
    static UINT System();
    // The effective dots per inch of the monitor nearest to the point.
    static UINT AtPoint(POINT point);
    // GetSystemMetrics at those dots per inch.
    static int Metric(int index, UINT dpi);
    // The system's menu font at those dots per inch; 0 when it cannot be read.
    static int MenuFont(UINT dpi, LOGFONTW& font);
    // A length of the 96-dots-per-inch design at those dots per inch.
    static int Scale(int length, UINT dpi) { return MulDiv(length, (int)dpi, 96); }
};
