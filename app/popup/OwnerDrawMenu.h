#pragma once
// The popup menu of one folder of the tree, painted by the program: icons in a column of their own, a
// gradient selection with a rounded highlight frame, gradient separators, light or dark as the app mode
// is. Each popup is made for the dots per inch of the monitor it opens on. Every item carries a record
// that leads back to its node.

#include "app/popup/MenuItemData.h"
#include "app/popup/MenuPalette.h"
#include "base/ImageList.h"
#include "framework/PopupMenu.h"

class MenuNode;

class OwnerDrawMenu : public PopupMenu {
public:
    enum : unsigned { STYLE_TALL_ITEMS = 0x1 };

    OwnerDrawMenu() = default;
    ~OwnerDrawMenu() override;

    // expectedImages sizes the image list for about that many images, and its growth in proportion; dpi is
    // the monitor's (0: the system's).
    int Create(HINSTANCE moduleInstance, HWND ownerWindow, int expectedImages = 10, UINT dpi = 0);
    void SetStyle(unsigned mask, unsigned bits) { style = bits | (style & ~mask); }
    // Appends an item, or inserts it before that position; iconId is an icon resource (-1 for none), icon
    // a handle whose image is copied.
    int AddItem(const wchar_t* text, UINT state, UINT identifier, MenuNode* node, int iconId, HMENU submenu, HICON icon,
                int position = -1);
    // Appends an item whose image is already in this menu's image list (-1 for none), or inserts it before
    // that position. With imageOwner the image is that menu's, which must outlive this one's item.
    int AddItemWithImage(const wchar_t* text, UINT state, UINT identifier, MenuNode* node, int imageIndex,
                         HMENU submenu, int position = -1, OwnerDrawMenu* imageOwner = nullptr);
    int AddSeparator(MenuNode* node, int position = -1);
    // Removes the item at that position with its record (not its submenu).
    int RemoveItem(int position);
    // The image index of the item at that position, or -1.
    int ItemImage(int position) const;
    // An item's text is measured up to MaxTextWidth and drawn cut with "…" beyond it; its accessible name
    // stays whole.
    int Measure(MEASUREITEMSTRUCT* measure);
    // About 45 average characters of the menu's font, or 40 % of the work area when that is narrower.
    int MaxTextWidth();
    int Draw(const DRAWITEMSTRUCT* draw);
    // Frees the records of this popup and its submenus, then destroys the popup and the drawing objects.
    void Destroy() override;

    ImageList& Images() { return images; }
    int IconWidth() const { return iconWidth; }
    int IconHeight() const { return iconHeight; }
    UINT Dpi() const { return dpi; }

    // A popup of rows of one height (no separator) taller than `available` pixels scrolls: it is given a
    // height of whole rows, so that no row is cut above the scroll arrow. Called as it opens.
    void FitRows(int available);
    // Learns from the open popup's window what the system's scroll arrows and margins take, for the
    // popups fitted from then on (Wine's layout is assumed until a scrolling popup has been seen).
    static void LearnScrollOverhead(HMENU popup, HWND window, UINT dpi);
    // The popup that draws the items of that menu, or null when it is no popup of ours.
    static OwnerDrawMenu* OfMenu(HMENU menu);

    // The colours of every popup drawn from now on, the dark ones or the light; asked as a menu opens.
    static void UseDarkColours(int dark);
    // Gives this popup and those under it the background of the colours in use.
    void ApplyBackground();

private:
    static void FreeRecords(HMENU menu);
    void DrawSeparator(HDC dc, const RECT& textArea, const MenuPalette& palette);
    void DrawGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom);
    void DrawArrow(HDC dc, const RECT& item, COLORREF color);
    // The system's menu font, looked up at the first item measured or drawn and kept while the popup
    // lives: looking it up for every item cost a font lookup each time the menu opens.
    HFONT MenuFont();
    // The height of an item, as Measure gives it.
    int RowHeight();
    // What a scrolling popup's arrows and margins take at this popup's dots per inch.
    int ScrollOverhead();

    int iconWidth = 16;
    int iconHeight = 16;
    UINT dpi = 96;
    ImageList images;
    // One of the fonts every popup shares; not owned.
    HFONT font = nullptr;
    int maxTextWidth = 0;
    // MaxTextWidth once measured (0: not yet).
    int textCap = 0;
    // Separators added: a popup with any has rows of more than one height.
    int separators = 0;
    unsigned style = 0;
};
