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
#include <vsstyle.h>

namespace {

const wchar_t* const BrowserSettings = L"Software\\Microsoft\\Internet Explorer\\Settings";
const wchar_t* const BrowserMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const wchar_t* const BrowserInternational = L"Software\\Microsoft\\Internet Explorer\\International";

// A browser setting as text; 0 when the value is missing.
int ReadSetting(const wchar_t* path, const wchar_t* name, WString& value) {
    return ReadRegistryText(HKEY_CURRENT_USER, path, name, value);
}

// The browser's proportional font for a code page or script key, when it names one.
int BrowserFace(const wchar_t* path, wchar_t (&face)[LF_FACESIZE]) {
    WString name;
    if (!ReadRegistryText(HKEY_CURRENT_USER, path, L"IEPropFontName", name) || name.IsEmpty())
        return 0;
    lstrcpynW(face, name, LF_FACESIZE);
    return 1;
}

const StaticControl::Kind LinkKind = {
    LINK_TRANSPARENT,               // transparent
    LINK_IGNORE_TRANSPARENT,        // ignoreTransparent
    LINK_NO_FOCUS_RECT,             // notFocusable
    0,                              // wholeClient: only the text is the link
    0,                              // whiteBackground: always the parent's
    0,                              // systemCursor: the cursor comes from the control's module
    IDC_HAND,                       // missingCursor
    StaticControl::PARENT_UNERASED, // parentErase
    StaticControl::WITH_PARENT,     // stateRepaint
};

} // namespace

HyperlinkControl::HyperlinkControl() : StaticControl(linkHook, LinkKind) {}

HyperlinkControl::~HyperlinkControl() {
    Detach();
    theme.Close();
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
            options |= LINK_HOVER_COLOR;
        else
            options &= ~LINK_HOVER_COLOR;
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
    if (options & LINK_BROWSER_FACE) {
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
    WString installed;
    FirstInstalledFace(L"Segoe UI;Verdana", L"Arial", installed);
    lstrcpynW(face, installed, LF_FACESIZE);
}

void HyperlinkControl::BuildFonts() {
    underlinedFont.Release();
    plainFont.Release();
    LOGFONTW font = {};
    if (options & LINK_OWN_FONT) {
        if (!ControlFont(font))
            return;
        font.lfUnderline = 0;
        plainFont.CreateFont(font);
        font.lfUnderline = 1;
        underlinedFont.CreateFont(font);
        return;
    }
    wchar_t face[LF_FACESIZE];
    ChooseFace(face);
    RECT client = {0, 0, 0, 0};
    GetClientRect(control, &client);
    // The dialog's font gives the starting height, so that the link starts at the size of its neighbours.
    TEXTMETRICW metrics = {};
    {
        ScopedDc dc(control);
        ScopedSelect dialogFont(dc, (HFONT)SendMessageW(control, WM_GETFONT, 0, 0));
        GetTextMetricsW(dc, &metrics);
    }
    FitFont(
        underlinedFont, (options & LINK_FULL_HEIGHT) ? client.bottom : metrics.tmHeight,
        [&](int height) {
            return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, metrics.tmPitchAndFamily, face);
        },
        [&](HDC dc) {
            SIZE size = {0, 0};
            return !GetTextExtentPoint32W(dc, displayText, displayText.Length(), &size) ||
                   (size.cx <= client.right && size.cy < client.bottom);
        });
    if (GetObjectW(underlinedFont.Handle(), sizeof(font), &font)) {
        font.lfUnderline = 0;
        plainFont.CreateFont(font);
    }
}

void HyperlinkControl::MakeDisplayText() {
    if (!(options & LINK_MASKED)) {
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

void HyperlinkControl::SetText(const wchar_t* caption) {
    text.Assign(caption ? caption : L"");
    MakeDisplayText();
    MeasureText(underlinedFont.Handle(), displayText);
    Invalidate(WITH_PARENT);
}

int HyperlinkControl::Attach(HWND target, const wchar_t* caption, const wchar_t* address, WORD cursor,
                             DWORD linkOptions) {
    Detach();
    simpleCallback = nullptr;
    fullCallback = nullptr;
    if (!target)
        return 0;
    LONG_PTR style = Adopt(target, linkOptions | LINK_HOVER_COLOR, cursor);
    theme.Open(control, L"TOOLBAR");
    TakeCaption(caption ? caption : L"");
    MakeDisplayText();
    lstrcpynW(url, address ? address : L"", MAX_PATH);
    // SS_NOTIFY makes the static answer hit tests, so that it receives the mouse.
    SetWindowLongPtrW(control, GWL_STYLE, style | SS_NOTIFY);

    ChooseColors();
    BuildFonts();

    format = DT_SINGLELINE | FormatFromStyle(style);
    if (options & LINK_END_ELLIPSIS)
        format |= DT_END_ELLIPSIS;
    if (options & LINK_PATH_ELLIPSIS)
        format |= DT_PATH_ELLIPSIS;

    // The mask character depends on the font just built.
    MakeDisplayText();
    int hooked = Hook();
    MeasureText(underlinedFont.Handle(), displayText);
    Invalidate(WITH_PARENT);
    return hooked;
}

void HyperlinkControl::ChooseColors() {
    linkColor = RGB(0, 102, 204);
    disabledColor = GetSysColor(COLOR_GRAYTEXT);
    // GetSysColorBrush answers null for colour indexes the system does not know (COLOR_HOTLIGHT is newer).
    hoverColor = GetSysColorBrush(COLOR_HOTLIGHT) ? GetSysColor(COLOR_HOTLIGHT) : RGB(255, 0, 0);
    ReadBrowserSettings();
    // High contrast: the system's link colour, never the browser's or ours, which may vanish on its
    // background.
    if (IsHighContrast())
        linkColor = hoverColor = GetSysColor(COLOR_HOTLIGHT);
}

void HyperlinkControl::SetColors(COLORREF link, COLORREF hover) {
    linkColor = link;
    hoverColor = hover;
    Invalidate(WITH_PARENT);
}

void HyperlinkControl::ResetColors() {
    ChooseColors();
    Invalidate(WITH_PARENT);
}

void HyperlinkControl::Refit() {
    if (!control)
        return;
    BuildFonts();
    MakeDisplayText();
    MeasureText(underlinedFont.Handle(), displayText);
    Invalidate(WITH_PARENT);
}

void HyperlinkControl::Detach() {
    Release();
    underlinedFont.Release();
    plainFont.Release();
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
    if (options & LINK_COMMAND)
        SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), 0), (LPARAM)control);
    else if (url[0])
        OpenAddress(url);
}

void HyperlinkControl::Draw(HDC dc, const RECT& client) {
    bool underline =
        underlineMode == UNDERLINE_ALWAYS || (underlineMode == UNDERLINE_HOVER && (state & STATIC_HOVERING));
    ScopedSelect selected(dc, underline ? underlinedFont.Handle() : plainFont.Handle());
    FillBackground(dc, client);
    if ((options & LINK_THEMED_PARENT) && theme.IsPartiallyTransparent(TP_BUTTON, TS_NORMAL))
        theme.DrawParentBackground(dc, &client);
    COLORREF color = linkColor;
    if (state & STATIC_DISABLED)
        color = disabledColor;
    else if ((options & LINK_HOVER_COLOR) && (state & STATIC_HOVERING))
        color = hoverColor;
    SetTextColor(dc, color);
    RECT area = client;
    DrawTextW(dc, displayText, displayText.Length(), &area, format);
    if (!(state & STATIC_DISABLED) && ShowsFocus()) {
        // Around the text alone, down to its height.
        RECT focus = TextColumn(client);
        if (format & DT_VCENTER)
            focus.top = (client.bottom - textSize.cy) / 2;
        focus.bottom = focus.top + textSize.cy;
        DrawFocusRect(dc, &focus);
    }
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
            *result = (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN && !(options & LINK_NO_FOCUS_RECT))
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
        case WM_ENABLE:
            StaticControl::OnMessage(message, wParam, lParam, result);
            // Enabled under a mouse at rest: hovering at once, without waiting for it to move.
            if (wParam && !(state & STATIC_HOVERING) && HitTest()) {
                state |= STATIC_HOVERING;
                ShowHoverCursor();
            }
            return 1;
        case WM_MOUSEMOVE:
            FollowMouse();
            return 1;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (state & STATIC_HOVERING)
                Click(LINK_PRESSED);
            return 1;
        case WM_LBUTTONUP:
            if (state & STATIC_HOVERING)
                Click(LINK_RELEASED);
            return 1;
        case WM_KEYUP:
            if (wParam == VK_RETURN)
                Click(LINK_ENTER);
            else if (wParam == VK_SPACE)
                Click(LINK_SPACE);
            return 1;
        default:
            return StaticControl::OnMessage(message, wParam, lParam, result);
    }
}
