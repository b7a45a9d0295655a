#include <stddef.h>

#include "app/popup/OwnerDrawMenu.h"

#include "base/Canvas.h"
#include "base/GdiObject.h"
#include "base/HighContrast.h"
#include "base/MemoryDc.h"
#include "base/ScopedSelect.h"
#include "framework/MonitorDpi.h"

#include <new>
#include <string.h>
#include <wchar.h>

#include <utility>
#include <vector>

namespace {

// Items are appended at the position after the last one: a fixed position such as 1000 would put the
// items of a folder with more entries than that before the last ones, in reverse order.
UINT AtTheEnd(HMENU menu) {
    int count = menu ? GetMenuItemCount(menu) : 0;
    return count > 0 ? (UINT)count : 0;
}

UINT ItemInfoSize() {
    return offsetof(MENUITEMINFOW, hbmpItem);
}

MenuItemData* RecordAt(HMENU menu, UINT position) {
    MENUITEMINFOW info = {};
    info.cbSize = ItemInfoSize();
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menu, position, TRUE, &info))
        return nullptr;
    return MenuItemData::FromItemData(info.dwItemData);
}

// The part of a text before its tab, and the part after it (empty without a tab).
void SplitAtTab(const wchar_t* text, int* beforeLength, const wchar_t** after) {
    const wchar_t* tab = wcschr(text, L'\t');
    *beforeLength = tab ? (int)(tab - text) : (int)wcslen(text);
    *after = tab ? tab + 1 : nullptr;
}

// The device context every menu measures its items on: a memory DC of the screen, made once for the
// process and used on the thread of the menus only. A DC of the owner window per item cost a trip to the
// window system each (several wineserver requests under Wine), the most of the time a menu took to be
// measured.
HDC MeasuringDc() {
    static MemoryDc dc(nullptr);
    return dc;
}

// What the popups draw with is shared by all of them: a resident instance keeps its popups as long as its
// tree, and a font, a canvas (a DC and a bitmap), a brush and a pen of each popup's own cost the process
// five GDI objects per folder opened. The brush and the pen are the stock white brush and the DC's own
// pen; the canvas, on which gradients and separators are drawn before they are copied to the menu, is
// used on the thread of the menus only, as the measuring DC is.
Canvas& Scratch() {
    static Canvas canvas;
    return canvas;
}

// One font for each menu font the system had when a popup first measured or drew an item. A font stays
// until the program ends: the popups made before a change of the system's menu font keep drawing with it.
HFONT SharedFont(const LOGFONTW& wanted) {
    static std::vector<std::pair<LOGFONTW, GdiObject>> fonts;
    static SRWLOCK lock = SRWLOCK_INIT;
    HFONT found = nullptr;
    AcquireSRWLockExclusive(&lock);
    for (const auto& font : fonts) {
        if (!memcmp(&font.first, &wanted, offsetof(LOGFONTW, lfFaceName)) &&
            !wcsncmp(font.first.lfFaceName, wanted.lfFaceName, LF_FACESIZE))
            found = font.second.As<HFONT>();
    }
    if (!found) {
        GdiObject made(CreateFontIndirectW(&wanted));
        try {
            if (made.Handle()) {
                fonts.emplace_back(wanted, std::move(made));
                found = fonts.back().second.As<HFONT>();
            }
        } catch (const std::bad_alloc&) {
        }
    }
    ReleaseSRWLockExclusive(&lock);
    return found;
}

void FillSolid(HDC dc, const RECT& area, COLORREF color) {
    COLORREF before = SetDCBrushColor(dc, color);
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    SetDCBrushColor(dc, before);
}

// The colours every popup draws with, chosen as each menu opens (the menus are drawn on one thread).
MenuPalette& Palette() {
    static MenuPalette palette = MenuPalette::Light(GetSysColor(COLOR_HIGHLIGHT));
    return palette;
}

// The dark background for the parts of a popup the items do not cover (its margins, the scroll
// arrows' rows), kept for the process as the popups refer to it; the light one is the system's own.
HBRUSH DarkBackground() {
    static GdiObject brush(CreateSolidBrush(MenuPalette::Dark(0).background));
    return brush.As<HBRUSH>();
}

} // namespace

OwnerDrawMenu::~OwnerDrawMenu() {
    Destroy();
}

void OwnerDrawMenu::UseDarkColours(int dark) {
    COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    Palette() = dark ? MenuPalette::Dark(highlight) : MenuPalette::Light(highlight);
}

void OwnerDrawMenu::ApplyBackground() {
    if (!rootMenu)
        return;
    MENUINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
    info.hbrBack = Palette().dark ? DarkBackground() : nullptr;
    SetMenuInfo(rootMenu, &info);
}

int OwnerDrawMenu::Create(HINSTANCE moduleInstance, HWND ownerWindow, int expectedImages, UINT monitorDpi) {
    Destroy();
    if (!PopupMenu::Create(moduleInstance, ownerWindow))
        return 0;
    dpi = monitorDpi ? monitorDpi : MonitorDpi::System();
    iconWidth = MonitorDpi::Metric(SM_CXSMICON, dpi);
    iconHeight = MonitorDpi::Metric(SM_CYSMICON, dpi);
    ApplyBackground();
    // Most items of a folder share a few icons: the list starts small and grows by an eighth of the
    // expected count, at least ten images, so a folder of 10,000 entries copies its bitmap a few times.
    int initial = expectedImages < 10 ? 10 : (expectedImages > 64 ? 64 : expectedImages);
    int growth = expectedImages / 8 > 10 ? expectedImages / 8 : 10;
    // The list itself is made only when an icon from the shell is added or one is taken out for the
    // cache: a menu from the cache is filled and drawn without the common controls.
    images.Create(IMAGELIST_DEFERRED, iconWidth, iconHeight, initial, growth);
    maxTextWidth = 0;
    textCap = 0;
    separators = 0;
    return 1;
}

int OwnerDrawMenu::AddItem(const wchar_t* text, UINT state, UINT identifier, MenuNode* node, int iconId, HMENU submenu,
                           HICON icon, int position) {
    int imageIndex = -1;
    if (icon)
        imageIndex = images.AddIcon(icon);
    else if (iconId != -1)
        imageIndex = images.AddIconResource(instance, (UINT)iconId);
    return AddItemWithImage(text, state, identifier, node, imageIndex, submenu, position);
}

int OwnerDrawMenu::AddItemWithImage(const wchar_t* text, UINT state, UINT identifier, MenuNode* node, int imageIndex,
                                    HMENU submenu, int position, OwnerDrawMenu* imageOwner) {
    MenuItemData* record = MenuItemData::New();
    if (!record)
        return 0;
    size_t length = text ? wcslen(text) : 0;
    wchar_t* copy = new (std::nothrow) wchar_t[length + 1];
    if (!copy) {
        MenuItemData::Delete(record);
        return 0;
    }
    wmemcpy(copy, text ? text : L"", length + 1);
    record->SetText(copy);
    record->owner = this;
    record->node = node;
    record->menu = currentMenu;
    record->imageIndex = imageIndex;
    record->imageOwner = imageOwner != this ? imageOwner : nullptr;
    record->opensPopup = submenu != nullptr;
    record->inert = (state & (MF_DISABLED | MF_GRAYED)) != 0;
    if (!InsertItem(position < 0 ? AtTheEnd(currentMenu) : (UINT)position, BY_POSITION, record->text, state, identifier,
                    (ULONG_PTR)record, OWNER_DRAWN, submenu)) {
        MenuItemData::Delete(record);
        return 0;
    }
    return 1;
}

int OwnerDrawMenu::AddSeparator(MenuNode* node, int position) {
    MenuItemData* record = MenuItemData::New();
    if (!record)
        return 0;
    record->owner = this;
    record->node = node;
    record->isSeparator = 1;
    record->menu = currentMenu;
    separators++;
    MENUITEMINFOW info = {};
    info.cbSize = ItemInfoSize();
    info.fMask = MIIM_ID | MIIM_TYPE | MIIM_DATA;
    info.fType = MFT_OWNERDRAW | MFT_SEPARATOR;
    info.dwItemData = (ULONG_PTR)record;
    if (!currentMenu ||
        !InsertMenuItemW(currentMenu, position < 0 ? AtTheEnd(currentMenu) : (UINT)position, TRUE, &info)) {
        MenuItemData::Delete(record);
        return 0;
    }
    return 1;
}

int OwnerDrawMenu::RemoveItem(int position) {
    MenuItemData* record = currentMenu ? RecordAt(currentMenu, (UINT)position) : nullptr;
    if (!currentMenu || !RemoveMenu(currentMenu, (UINT)position, MF_BYPOSITION))
        return 0;
    if (record && record->owner == this)
        MenuItemData::Delete(record);
    return 1;
}

int OwnerDrawMenu::ItemImage(int position) const {
    MenuItemData* record = currentMenu ? RecordAt(currentMenu, (UINT)position) : nullptr;
    return record ? record->imageIndex : -1;
}

HFONT OwnerDrawMenu::MenuFont() {
    if (font)
        return font;
    LOGFONTW wanted = {};
    if (MonitorDpi::MenuFont(dpi, wanted))
        font = SharedFont(wanted);
    return font;
}

int OwnerDrawMenu::Measure(MEASUREITEMSTRUCT* measure) {
    if (!measure || measure->CtlType != ODT_MENU)
        return 0;
    MenuItemData* record = MenuItemData::FromItemData(measure->itemData);
    if (!record || record->owner != this)
        return 0;
    measure->itemWidth = 1;
    measure->itemHeight = 1;
    if (record->isSeparator) {
        measure->itemHeight = MonitorDpi::Metric(SM_CYMENU, dpi) / 3;
        return 1;
    }
    // The menu asks again each time it opens: a resident menu opened again measures nothing (a device
    // context per item is most of the time a kept menu takes to appear).
    if (record->measuredWidth) {
        measure->itemWidth = record->measuredWidth;
        measure->itemHeight = record->measuredHeight;
        return 1;
    }
    HDC dc = MeasuringDc();
    ScopedSelect selected(dc, MenuFont());
    int beforeLength = 0;
    const wchar_t* after = nullptr;
    SplitAtTab(record->text, &beforeLength, &after);
    SIZE text = {0, 0};
    GetTextExtentPoint32W(dc, record->text, beforeLength, &text);
    // One long name must not make the whole popup as wide: it is cut when drawn.
    if (text.cx > MaxTextWidth())
        text.cx = MaxTextWidth();
    // The margins of the design at 96 dots per inch, grown with the monitor's scale.
    int width = iconWidth + MonitorDpi::Scale(11, dpi) + text.cx;
    if (after) {
        SIZE tail = {0, 0};
        GetTextExtentPoint32W(dc, after, (int)wcslen(after), &tail);
        width += tail.cx + MonitorDpi::Scale(10, dpi);
    }
    int height = iconHeight > text.cy ? iconHeight : text.cy;
    measure->itemWidth = (UINT)width;
    measure->itemHeight = (UINT)(height + MonitorDpi::Scale((style & STYLE_TALL_ITEMS) ? 12 : 4, dpi));
    record->measuredWidth = measure->itemWidth;
    record->measuredHeight = measure->itemHeight;
    if (text.cx > maxTextWidth)
        maxTextWidth = text.cx;
    return 1;
}

namespace {

// A scrolling popup's arrows and margins as one shown was seen to take them, at those dots per inch; 0
// until one was seen.
int learnedOverhead = 0;
UINT learnedDpi = 96;

} // namespace

int OwnerDrawMenu::RowHeight() {
    HDC dc = MeasuringDc();
    ScopedSelect selected(dc, MenuFont());
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    int height = iconHeight > metrics.tmHeight ? iconHeight : metrics.tmHeight;
    return height + MonitorDpi::Scale((style & STYLE_TALL_ITEMS) ? 12 : 4, dpi);
}

int OwnerDrawMenu::ScrollOverhead() {
    if (learnedOverhead > 0)
        return MulDiv(learnedOverhead, (int)dpi, (int)learnedDpi);
    // Wine's: an arrow of the menu font's height plus 4 at the top and at the bottom, and a border each.
    HDC dc = MeasuringDc();
    ScopedSelect selected(dc, MenuFont());
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    return 2 * (metrics.tmHeight + 4 + GetSystemMetrics(SM_CYBORDER));
}

void OwnerDrawMenu::FitRows(int available) {
    // Asked each time the popup opens: a popup of 10,000 items is not walked for its separators.
    int count = currentMenu ? GetMenuItemCount(currentMenu) : 0;
    if (count <= 0 || separators)
        return;
    MENUINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIM_MAXHEIGHT;
    int row = RowHeight();
    int overhead = ScrollOverhead();
    // 0 leaves a popup that fits the system's own limit.
    info.cyMax = 0;
    if (row > 0 && available > overhead + row && count * row > available)
        info.cyMax = (UINT)(overhead + (available - overhead) / row * row);
    SetMenuInfo(currentMenu, &info);
}

void OwnerDrawMenu::LearnScrollOverhead(HMENU popup, HWND window, UINT popupDpi) {
    RECT frame, first;
    if (!window || !GetWindowRect(window, &frame) || !GetMenuItemRect(nullptr, popup, 0, &first))
        return;
    // Opened scrolled to its top: the first row lies below the top arrow and margin, and the bottom ones
    // take as much again.
    int top = first.top - frame.top;
    if (top > 0 && top < (frame.bottom - frame.top) / 4) {
        learnedOverhead = 2 * top;
        learnedDpi = popupDpi ? popupDpi : 96;
    }
}

OwnerDrawMenu* OwnerDrawMenu::OfMenu(HMENU menu) {
    MenuItemData* record = menu ? RecordAt(menu, 0) : nullptr;
    return record && record->owner && record->owner->Handle() == menu ? record->owner : nullptr;
}

int OwnerDrawMenu::MaxTextWidth() {
    if (textCap)
        return textCap;
    HDC dc = MeasuringDc();
    ScopedSelect selected(dc, MenuFont());
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    textCap = 45 * (metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : MonitorDpi::Scale(7, dpi));
    RECT work = {0, 0, 0, 0};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) && work.right - work.left > 0) {
        int share = (work.right - work.left) * 2 / 5;
        if (share < textCap)
            textCap = share;
    }
    return textCap;
}

void OwnerDrawMenu::DrawGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom) {
    int width = area.right - area.left, height = area.bottom - area.top;
    Canvas& scratch = Scratch();
    if (width <= 0 || height <= 0 || !scratch.CreateBitmap(width, height, 1, 32, nullptr, 0))
        return;
    RECT whole = {0, 0, width, height};
    scratch.GradientFill(top, bottom, 0, whole);
    scratch.BlitTo(dc, area.left, area.top, SRCCOPY);
}

void OwnerDrawMenu::DrawSeparator(HDC dc, const RECT& textArea, const MenuPalette& palette) {
    int width = textArea.right - textArea.left, height = textArea.bottom - textArea.top;
    Canvas& scratch = Scratch();
    if (width <= 0 || height <= 0 || !scratch.CreateBitmap(width, height, 1, 32, nullptr, 0))
        return;
    scratch.FillRectangle(palette.background, 0, 0, width, height);
    // A one-pixel line fading in from the background to the line's colour and out again.
    int y = height / 2, half = width / 2;
    RECT left = {0, y, half, y + 1}, right = {half, y, width, y + 1};
    scratch.GradientFill(palette.background, palette.separator, 1, left);
    scratch.GradientFill(palette.separator, palette.background, 1, right);
    scratch.BlitTo(dc, textArea.left, textArea.top, SRCCOPY);
}

void OwnerDrawMenu::DrawArrow(HDC dc, const RECT& item, COLORREF color) {
    // A solid triangle pointing right, centred in the room Windows leaves for its arrow at the item's end.
    int half = MonitorDpi::Scale(4, dpi);
    int room = MonitorDpi::Metric(SM_CXMENUCHECK, dpi);
    int x = item.right - (room + half) / 2, y = (item.top + item.bottom) / 2;
    POINT points[3] = {{x, y - half}, {x + half, y}, {x, y + half}};
    ScopedSelect pen(dc, GetStockObject(DC_PEN));
    ScopedSelect brush(dc, GetStockObject(DC_BRUSH));
    COLORREF penColor = SetDCPenColor(dc, color), brushColor = SetDCBrushColor(dc, color);
    Polygon(dc, points, 3);
    SetDCPenColor(dc, penColor);
    SetDCBrushColor(dc, brushColor);
}

int OwnerDrawMenu::Draw(const DRAWITEMSTRUCT* draw) {
    if (!draw || draw->CtlType != ODT_MENU)
        return 0;
    MenuItemData* record = MenuItemData::FromItemData(draw->itemData);
    if (!record || record->owner != this || record->menu != (HMENU)draw->hwndItem)
        return 0;
    HDC dc = draw->hDC;
    RECT rc = draw->rcItem;
    const MenuPalette& palette = Palette();
    // Item rectangles start at x 0 inside the menu, so the column edge is an absolute x.
    int columnEdge = iconWidth + MonitorDpi::Scale(4, dpi);
    RECT iconColumn = {rc.left, rc.top, columnEdge, rc.bottom};
    RECT textArea = {columnEdge, rc.top, rc.right, rc.bottom};
    bool selected = (draw->itemState & ODS_SELECTED) != 0 && !record->inert;
    bool disabled = (draw->itemState & (ODS_DISABLED | ODS_GRAYED)) != 0 || record->inert;
    // High contrast: the system's menu colours alone, without gradients, frames or colours of ours. Asked
    // at every item, so that a change of the setting shows in the next menu a resident instance opens.
    bool contrast = IsHighContrast() != 0;
    if (contrast) {
        FillRect(dc, &rc, GetSysColorBrush(selected && !record->isSeparator ? COLOR_HIGHLIGHT : COLOR_MENU));
        if (record->isSeparator) {
            RECT line = {textArea.left, (rc.top + rc.bottom) / 2, textArea.right - 2, (rc.top + rc.bottom) / 2 + 1};
            FillRect(dc, &line, GetSysColorBrush(COLOR_MENUTEXT));
            return 1;
        }
    } else {
        FillSolid(dc, iconColumn, palette.iconColumn);
    }
    if (record->isSeparator) {
        DrawSeparator(dc, textArea, palette);
        return 1;
    }
    COLORREF textColor = disabled ? palette.disabledText : palette.text;
    if (contrast) {
        textColor = GetSysColor(disabled ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    } else if (selected) {
        DrawGradient(dc, iconColumn, palette.selectTop, palette.selectColumnBottom);
        DrawGradient(dc, textArea, palette.selectTop, palette.selectBottom);
        ScopedSelect pen(dc, GetStockObject(DC_PEN));
        COLORREF penColor = SetDCPenColor(dc, palette.frame);
        ScopedSelect brush(dc, GetStockObject(NULL_BRUSH));
        int corner = MonitorDpi::Scale(4, dpi);
        RoundRect(dc, rc.left, rc.top, rc.right, rc.bottom, corner, corner);
        SetDCPenColor(dc, penColor);
    } else {
        FillSolid(dc, textArea, palette.background);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColor);

    if (record->imageIndex != -1) {
        int y = rc.top + (rc.bottom - rc.top - iconHeight) / 2;
        // A disabled icon is blended half with the background.
        ImageList& list = record->imageOwner ? record->imageOwner->Images() : images;
        list.Draw(record->imageIndex, dc, rc.left + MonitorDpi::Scale(2, dpi), y, 0, 0, CLR_NONE,
                  disabled ? palette.background : CLR_DEFAULT,
                  disabled ? (ILD_TRANSPARENT | ILD_BLEND50) : ILD_TRANSPARENT);
    }

    {
        ScopedSelect selectedFont(dc, MenuFont());
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc, &metrics);
        RECT textRect = {rc.left + iconWidth + MonitorDpi::Scale(9, dpi),
                         rc.top + (rc.bottom - rc.top - metrics.tmHeight) / 2, rc.right, rc.bottom};
        int beforeLength = 0;
        const wchar_t* after = nullptr;
        SplitAtTab(record->text, &beforeLength, &after);
        // DT_SINGLELINE without DT_NOPREFIX: "&" marks the next character as the mnemonic and is not
        // shown. A name longer than the popup allows ends in "…".
        RECT nameRect = textRect;
        if (nameRect.right > nameRect.left + MaxTextWidth())
            nameRect.right = nameRect.left + MaxTextWidth();
        DrawTextW(dc, record->text, beforeLength, &nameRect, DT_SINGLELINE | DT_END_ELLIPSIS);
        if (after) {
            textRect.left += maxTextWidth + MonitorDpi::Scale(10, dpi);
            DrawTextW(dc, after, -1, &textRect, DT_SINGLELINE);
        }
    }
    if (record->opensPopup) {
        DrawArrow(dc, rc, textColor);
        // Windows draws its own arrow over the item after this, in the light menus' black, and knows no
        // other colour: the item is taken out of the area it may paint.
        ExcludeClipRect(dc, rc.left, rc.top, rc.right, rc.bottom);
    }
    return 1;
}

void OwnerDrawMenu::FreeRecords(HMENU menu) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        MENUITEMINFOW info = {};
        info.cbSize = ItemInfoSize();
        info.fMask = MIIM_DATA | MIIM_SUBMENU;
        if (!GetMenuItemInfoW(menu, i, TRUE, &info))
            continue;
        if (info.hSubMenu)
            FreeRecords(info.hSubMenu);
        if (MenuItemData* record = MenuItemData::FromItemData(info.dwItemData)) {
            // Detach the record from its item first, so it can never be freed twice.
            MENUITEMINFOW clear = {};
            clear.cbSize = ItemInfoSize();
            clear.fMask = MIIM_DATA;
            SetMenuItemInfoW(menu, i, TRUE, &clear);
            MenuItemData::Delete(record);
        }
    }
}

void OwnerDrawMenu::Destroy() {
    // A child's popup is destroyed with its parent's; by the time the child's own Destroy runs the
    // handle is gone and IsMenu says so.
    if (rootMenu && IsMenu(rootMenu))
        FreeRecords(rootMenu);
    else
        rootMenu = nullptr;
    PopupMenu::Destroy();
    images.Destroy();
    font = nullptr;
}
