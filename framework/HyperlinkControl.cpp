#include "framework/HyperlinkControl.h"

#include "base/FontEnumeration.h"
#include "base/HighContrast.h"
#include "base/RegistryRead.h"
#include "base/ScopedDc.h"
#include "base/ScopedSelect.h"
#include "framework/LinkAccessible.h"
#include "framework/OpenAddress.h"
#include "sysinfo/OsVersion.h"

#include <stdio.h>
#include <wchar.h>

namespace {

const wchar_t* const BrowserSettings = L"Software\\Microsoft\\Internet Explorer\\Settings";
const wchar_t* const BrowserMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t* const BrowserInternational = L"Software\\Microsoft\\Internet Explorer\\International";

// A browser setting as text; 0 when the value is missing.
int ReadSetting(const wchar_t* path, const wchar_t* name, WString& value) {
    return ReadRegistryText(HKEY_CURRENT_USER, path, name, value);
}

int IsInstalled(const wchar_t* face) {
    return EnumerateFonts(nullptr, nullptr, face, DEFAULT_CHARSET, nullptr);
}

// The browser's proportional font for a code page or script key, when it names one.
int BrowserFace(const wchar_t* path, wchar_t (&face)[LF_FACESIZE]) {
    WString name;
    if (!ReadRegistryText(HKEY_CURRENT_USER, path, L"IEPropFontName", name) || name.IsEmpty())
        return 0;
    lstrcpynW(face, name, LF_FACESIZE);
    return 1;
}

} // namespace

HyperlinkControl::~HyperlinkControl() {
    Detach();
    theme.Close();
    hover.Stop();
}

int HyperlinkControl::ParseColor(const wchar_t* value, COLORREF* color) {
    unsigned red = 0, green = 0, blue = 0;
    if (!value || swscanf(value, L"%u,%u,%u", &red, &green, &blue) != 3)
        return 0;
    // RGB keeps only the low byte of each part: "300,0,0" would become a dark red instead of being refused.
    if (red > 255 || green > 255 || blue > 255)
        return 0;
    *color = RGB(red, green, blue);
    return 1;
}

void HyperlinkControl::ReadBrowserSettings() {
    WString value;
    if (ReadSetting(BrowserSettings, L"Use Anchor Hover Color", value)) {
        if (value.CompareNoCase(L"yes") == 0)
            flags |= LINK_HOVER_COLOR;
        else
            flags &= ~LINK_HOVER_COLOR;
    }
    if (ReadSetting(BrowserSettings, L"Anchor Color", value))
        ParseColor(value, &linkColor);
    if (ReadSetting(BrowserSettings, L"Anchor Color Hover", value))
        ParseColor(value, &hoverColor);
    underlineMode = UNDERLINE_ALWAYS;
    if (ReadSetting(BrowserMain, L"Anchor Underline", value)) {
        if (value.CompareNoCase(L"yes") == 0)
            underlineMode = UNDERLINE_ALWAYS;
        else if (value.CompareNoCase(L"no") == 0)
            underlineMode = UNDERLINE_NEVER;
        else if (value.CompareNoCase(L"hover") == 0)
            underlineMode = UNDERLINE_HOVER;
    }
    if (ReadSetting(BrowserMain, L"Use_DlgBox_Colors", value) && value.CompareNoCase(L"yes") == 0) {
        // COLOR_HOTLIGHT is the system's link colour from Vista on; before, it is rarely set by themes.
        linkColor = IsOsAtLeast(OS_VISTA, 0) ? GetSysColor(COLOR_HOTLIGHT) : RGB(0, 102, 204);
        hoverColor = GetSysColor(COLOR_HIGHLIGHT);
    }
}

void HyperlinkControl::ChooseFace(wchar_t (&face)[LF_FACESIZE]) const {
    face[0] = 0;
    if (flags & LINK_BROWSER_FACE) {
        WString path;
        DWORD codePage = ReadRegistryDword(HKEY_CURRENT_USER, BrowserInternational, L"Default_CodePage", 0);
        if (codePage) {
            path.Format(L"%s\\%u", BrowserInternational, (unsigned)codePage);
            if (BrowserFace(path, face))
                return;
        }
        WString scripts;
        scripts.Format(L"%s\\Scripts", BrowserInternational);
        DWORD script = ReadRegistryDword(HKEY_CURRENT_USER, scripts, L"Default_Script", 3);
        path.Format(L"%s\\%u", (const wchar_t*)scripts, (unsigned)script);
        if (BrowserFace(path, face))
            return;
        if (BrowserFace(L"Software\\Microsoft\\Internet Explorer\\Styles", face))
            return;
    }
    const wchar_t* fallback = IsInstalled(L"Segoe UI") ? L"Segoe UI" : IsInstalled(L"Verdana") ? L"Verdana" : L"Arial";
    lstrcpynW(face, fallback, LF_FACESIZE);
}

void HyperlinkControl::BuildFonts() {
    underlinedFont.Release();
    plainFont.Release();
    if (flags & LINK_OWN_FONT) {
        HFONT own = (HFONT)SendMessageW(control, WM_GETFONT, 0, 0);
        LOGFONTW font = {};
        if (!GetObjectW(own ? own : GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font))
            return;
        font.lfUnderline = 0;
        plainFont.CreateFont(font);
        font.lfUnderline = 1;
        underlinedFont.CreateFont(font);
        return;
    }
    wchar_t face[LF_FACESIZE];
    ChooseFace(face);
    ScopedDc dc(control);
    RECT client = {0, 0, 0, 0};
    GetClientRect(control, &client);
    // The dialog's font gives the starting height, so that the link starts at the size of its neighbours.
    ScopedSelect dialogFont(dc, (HFONT)SendMessageW(control, WM_GETFONT, 0, 0));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    int height = (flags & LINK_FULL_HEIGHT) ? client.bottom : metrics.tmHeight;
    BYTE pitchAndFamily = metrics.tmPitchAndFamily;
    for (;;) {
        underlinedFont.Attach(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, DEFAULT_CHARSET,
                                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily,
                                          face));
        SIZE size = {0, 0};
        ScopedSelect trial(dc, underlinedFont.Handle());
        if (!trial.Selected() || !GetTextExtentPoint32W(dc, displayText, displayText.Length(), &size) ||
            (size.cx <= client.right && size.cy < client.bottom))
            break;
        // Never below 4 pixels: the font of the last height tried stays.
        if (height - 1 <= 3)
            break;
        height--;
    }
    LOGFONTW font = {};
    if (GetObjectW(underlinedFont.Handle(), sizeof(font), &font)) {
        font.lfUnderline = 0;
        plainFont.CreateFont(font);
    }
}

void HyperlinkControl::ApplyCaption(const wchar_t* caption) {
    text.Assign(caption ? caption : L"");
    if (!(flags & LINK_MASKED)) {
        displayText.Assign(text);
        return;
    }
    // Verdana has a bullet that reads well at dialog sizes; other faces get the asterisk.
    LOGFONTW font = {};
    wchar_t mask = L'*';
    if (plainFont.Handle() && GetObjectW(plainFont.Handle(), sizeof(font), &font) &&
        lstrcmpiW(font.lfFaceName, L"Verdana") == 0)
        mask = 0x2022;
    displayText.Assign(L"");
    for (int i = 0; i < text.Length(); i++)
        displayText.AppendChar(mask);
}

void HyperlinkControl::Measure() {
    textSize.cx = textSize.cy = 0;
    ScopedDc dc(control);
    ScopedSelect font(dc, underlinedFont.Handle());
    if (!GetTextExtentPoint32W(dc, displayText, displayText.Length(), &textSize))
        textSize.cx = textSize.cy = 0;
}

void HyperlinkControl::SetText(const wchar_t* caption) {
    ApplyCaption(caption);
    Measure();
    Invalidate();
}

int HyperlinkControl::Attach(HWND target, const wchar_t* caption, const wchar_t* address, WORD cursor, DWORD options) {
    Detach();
    simpleCallback = nullptr;
    fullCallback = nullptr;
    control = target;
    if (!control)
        return 0;
    flags = options | LINK_HOVER_COLOR;
    theme.Open(control, L"TOOLBAR");
    LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    if (!(style & WS_TABSTOP))
        flags |= LINK_NO_FOCUS_RECT;
    ApplyCaption(caption);
    lstrcpynW(url, address ? address : L"", MAX_PATH);
    cursorId = cursor;
    // SS_NOTIFY makes the static answer hit tests, so that it receives the mouse; the caption lives here.
    SetWindowLongPtrW(control, GWL_STYLE, style | SS_NOTIFY);
    SetWindowTextW(control, L"");
    if (!(flags & LINK_IGNORE_TRANSPARENT) && (GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_TRANSPARENT))
        flags |= LINK_TRANSPARENT;

    linkColor = RGB(0, 102, 204);
    disabledColor = GetSysColor(COLOR_GRAYTEXT);
    // GetSysColorBrush answers null for colour indexes the system does not know (COLOR_HOTLIGHT is newer).
    hoverColor = GetSysColorBrush(COLOR_HOTLIGHT) ? GetSysColor(COLOR_HOTLIGHT) : RGB(255, 0, 0);
    ReadBrowserSettings();
    // High contrast: the system's link colour, never the browser's or ours, which may vanish on its
    // background.
    if (IsHighContrast())
        linkColor = hoverColor = GetSysColor(COLOR_HOTLIGHT);
    BuildFonts();

    format = DT_SINGLELINE;
    if ((style & SS_TYPEMASK) == SS_CENTER)
        format |= DT_CENTER;
    else if ((style & SS_TYPEMASK) == SS_RIGHT)
        format |= DT_RIGHT;
    if (style & SS_CENTERIMAGE)
        format |= DT_VCENTER;
    if (flags & LINK_END_ELLIPSIS)
        format |= DT_END_ELLIPSIS;
    if (flags & LINK_PATH_ELLIPSIS)
        format |= DT_PATH_ELLIPSIS;

    ApplyCaption(caption);
    int hooked = hook.Attach(control, HookProc, this);
    Measure();
    Invalidate();
    return hooked;
}

void HyperlinkControl::Detach() {
    hook.Detach();
    hover.Stop();
    underlinedFont.Release();
    plainFont.Release();
}

void HyperlinkControl::Invalidate() const {
    if (!control)
        return;
    if (flags & LINK_TRANSPARENT) {
        // The parent paints what lies under the control; the control repaints with it.
        HWND parent = GetParent(control);
        RECT area;
        GetWindowRect(control, &area);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
        InvalidateRect(parent, &area, FALSE);
        InvalidateRect(control, nullptr, FALSE);
        return;
    }
    InvalidateRect(control, nullptr, FALSE);
}

int HyperlinkControl::IsOverText(HWND window, const SIZE& size, UINT textFormat) {
    POINT cursor;
    if (size.cy == 0 || !GetCursorPos(&cursor))
        return 1;
    ScreenToClient(window, &cursor);
    RECT client;
    GetClientRect(window, &client);
    if (!PtInRect(&client, cursor))
        return 0;
    int width = client.right;
    if (textFormat & DT_CENTER) {
        int margin = (width - size.cx) / 2;
        return cursor.x > margin && cursor.x < width - margin;
    }
    if (textFormat & DT_RIGHT)
        return cursor.x > width - size.cx;
    return cursor.x < size.cx;
}

int HyperlinkControl::HitTest() const {
    return IsOverText(control, textSize, format);
}

void HyperlinkControl::ShowLinkCursor() const {
    HINSTANCE module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(control, GWLP_HINSTANCE));
    HCURSOR cursor = cursorId ? LoadCursorW(module, MAKEINTRESOURCEW(cursorId)) : nullptr;
    // SetCursor(null) would hide the pointer altogether: a missing resource falls back to the system hand.
    if (!cursor)
        cursor = LoadCursorW(nullptr, IDC_HAND);
    if (!cursor)
        cursor = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(cursor);
}

void HyperlinkControl::Click(int event) {
    if (simpleCallback) {
        simpleCallback(event, text, url);
        return;
    }
    if (fullCallback) {
        fullCallback(event, text, url, userData, control);
        return;
    }
    // Pressing the button only arms the link: the release over it, or a key, opens it.
    if (event == LINK_PRESSED)
        return;
    if (flags & LINK_COMMAND)
        SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), 0), (LPARAM)control);
    else if (url[0])
        OpenAddress(url);
}

void HyperlinkControl::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control, &paint);
    if (!dc)
        return;
    int saved = SaveDC(dc);
    bool underline = underlineMode == UNDERLINE_ALWAYS || (underlineMode == UNDERLINE_HOVER && (flags & LINK_HOVERING));
    SelectObject(dc, underline ? underlinedFont.Handle() : plainFont.Handle());
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(control, &client);
    if (!(flags & LINK_TRANSPARENT)) {
        HBRUSH brush = (HBRUSH)SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)control);
        FillRect(dc, &client, brush ? brush : (HBRUSH)GetStockObject(WHITE_BRUSH));
    }
    if ((flags & LINK_THEMED_PARENT) && theme.IsPartiallyTransparent(1, 1))
        theme.DrawParentBackground(dc, &client);
    COLORREF color = linkColor;
    if (flags & LINK_DISABLED)
        color = disabledColor;
    else if ((flags & LINK_HOVER_COLOR) && (flags & LINK_HOVERING))
        color = hoverColor;
    SetTextColor(dc, color);
    DrawTextW(dc, displayText, displayText.Length(), &client, format);
    if (!(flags & LINK_DISABLED) && (flags & LINK_FOCUSED) && !(flags & LINK_NO_FOCUS_RECT)) {
        RECT focus = client;
        if (format & DT_CENTER)
            focus.left = (client.right - textSize.cx) / 2;
        else if (format & DT_RIGHT)
            focus.left = client.right - textSize.cx;
        focus.right = focus.left + textSize.cx;
        if (format & DT_VCENTER)
            focus.top = (client.bottom - textSize.cy) / 2;
        focus.bottom = focus.top + textSize.cy;
        DrawFocusRect(dc, &focus);
    }
    RestoreDC(dc, saved);
    EndPaint(control, &paint);
}

int HyperlinkControl::HookProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData) {
    return static_cast<HyperlinkControl*>(userData)->OnMessage(message, wParam, lParam, result);
}

UINT HyperlinkControl::ActivateMessage() {
    static const UINT message = RegisterWindowMessageW(L"Veltrix.HyperlinkActivate");
    return message;
}

int HyperlinkControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == ActivateMessage() && message != 0) {
        Click(LINK_ENTER);
        return 1;
    }
    switch (message) {
        case WM_GETDLGCODE: {
            // Enter on the focused link opens it, instead of pressing the dialog's default button.
            const MSG* key = reinterpret_cast<const MSG*>(lParam);
            *result = (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN && !(flags & LINK_NO_FOCUS_RECT))
                          ? DLGC_WANTMESSAGE
                          : 0;
            return 1;
        }
        case WM_GETOBJECT:
            // Screen readers ask for the client area's object; a link is not a static text to them.
            if ((LONG)lParam != OBJID_CLIENT)
                return 0;
            *result = LinkAccessible::Answer(control, wParam, text, url, ActivateMessage());
            return *result != 0;
        case WM_SETFOCUS:
            flags |= LINK_FOCUSED;
            Invalidate();
            return 1;
        case WM_KILLFOCUS:
            flags &= ~LINK_FOCUSED;
            Invalidate();
            return 1;
        case WM_ENABLE:
            if (wParam) {
                flags &= ~LINK_DISABLED;
                if (!(flags & LINK_HOVERING) && HitTest()) {
                    flags |= LINK_HOVERING;
                    ShowLinkCursor();
                }
            } else {
                flags |= LINK_DISABLED;
            }
            Invalidate();
            return 1;
        case WM_SETTEXT:
            SetText(reinterpret_cast<const wchar_t*>(lParam));
            *result = TRUE;
            return 1;
        case WM_GETTEXT: {
            // The caption, never the mask: the owner reads back what it set. A zero-sized buffer gets nothing.
            wchar_t* buffer = reinterpret_cast<wchar_t*>(lParam);
            int copied = 0;
            if (buffer && wParam > 0) {
                copied = text.Length() < (int)wParam - 1 ? text.Length() : (int)wParam - 1;
                wmemcpy(buffer, text, copied);
                buffer[copied] = 0;
            }
            *result = copied;
            return 1;
        }
        case WM_GETTEXTLENGTH:
            *result = text.Length();
            return 1;
        case WM_PAINT:
            Paint();
            return 1;
        case WM_MOUSEMOVE: {
            int hit = HitTest();
            if (!(flags & LINK_HOVERING) && hit) {
                flags |= LINK_HOVERING;
                hover.Track(control);
                Invalidate();
                ShowLinkCursor();
            } else if ((flags & LINK_HOVERING) && !hit) {
                flags &= ~LINK_HOVERING;
                Invalidate();
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            }
            return 1;
        }
        case WM_MOUSELEAVE:
        case WM_CANCELMODE:
            flags &= ~LINK_HOVERING;
            Invalidate();
            return 1;
        case WM_SETCURSOR:
            if (flags & LINK_HOVERING)
                ShowLinkCursor();
            else
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            *result = TRUE;
            return 1;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (flags & LINK_HOVERING)
                Click(LINK_PRESSED);
            return 1;
        case WM_LBUTTONUP:
            if (flags & LINK_HOVERING)
                Click(LINK_RELEASED);
            return 1;
        case WM_KEYUP:
            if (wParam == VK_RETURN)
                Click(LINK_ENTER);
            else if (wParam == VK_SPACE)
                Click(LINK_SPACE);
            return 1;
        default:
            return 0;
    }
}
