#include "app/popup/OwnerDrawMenu.h"
#include "app/tree/MenuNode.h"

#include <gtest/gtest.h>

#include <stddef.h>

#include <string>
#include <vector>

namespace {

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND OwnerWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VeltrixMenuOwner";
    RegisterClassW(&windowClass);
    return CreateWindowW(L"VeltrixMenuOwner", L"", 0, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}

ULONG_PTR ItemData(HMENU menu, int position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA | MIIM_FTYPE;
    GetMenuItemInfoW(menu, position, TRUE, &info);
    EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
    return info.dwItemData;
}

} // namespace

TEST(OwnerDrawMenu, ColoursAreTintsOfTheHighlight) {
    const COLORREF white = RGB(255, 255, 255);
    EXPECT_EQ(RGB(224, 239, 255), MenuPalette::Mix(RGB(51, 153, 255), white, 0.85));
    EXPECT_EQ(RGB(193, 224, 255), MenuPalette::Mix(RGB(51, 153, 255), white, 0.7));
    EXPECT_EQ(RGB(51, 153, 255), MenuPalette::Mix(RGB(51, 153, 255), white, 1.5)) << "out of range: unchanged";
    EXPECT_EQ(RGB(51, 153, 255), MenuPalette::Mix(RGB(51, 153, 255), white, 0));
}

TEST(OwnerDrawMenu, DarkTextReadsAtSevenToOneWhateverTheAccentColour) {
    for (COLORREF accent : {RGB(0, 120, 215), RGB(255, 255, 0), RGB(255, 255, 255), RGB(0, 255, 0), RGB(0, 0, 0)}) {
        MenuPalette dark = MenuPalette::Dark(accent);
        for (COLORREF under : {dark.background, dark.selectTop, dark.selectBottom})
            EXPECT_GE(MenuPalette::Contrast(dark.text, under), 7.0) << std::hex << accent << " under " << under;
        EXPECT_NE(dark.selectBottom, dark.background) << "the selection shows, accent " << std::hex << accent;
    }
}

TEST(OwnerDrawMenu, ItemsAreMeasuredFromIconAndTextAndDrawnOnlyByTheirMenu) {
    HWND owner = OwnerWindow();
    MenuNode node(nullptr);
    OwnerDrawMenu menu, other;
    ASSERT_EQ(1, menu.Create(GetModuleHandleW(nullptr), owner));
    ASSERT_EQ(1, other.Create(GetModuleHandleW(nullptr), owner));
    menu.SetStyle(OwnerDrawMenu::STYLE_TALL_ITEMS, OwnerDrawMenu::STYLE_TALL_ITEMS);
    ASSERT_EQ(1, menu.AddItem(L"&Notepad", 0, 1, &node, 111, nullptr, nullptr));
    ASSERT_EQ(1, menu.AddSeparator(&node));
    ASSERT_EQ(1, menu.AddItem(L"Plain", 0, 3, &node, -1, nullptr, nullptr));
    EXPECT_EQ(0, menu.ItemImage(0)) << "the folder icon is the list's first image";
    EXPECT_EQ(-1, menu.ItemImage(2));

    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemData = ItemData(menu.Handle(), 0);
    ASSERT_EQ(1, menu.Measure(&measure));
    EXPECT_EQ(0, other.Measure(&measure)) << "an item of another menu is left alone";
    EXPECT_GT(measure.itemWidth, (UINT)menu.IconWidth() + 11);
    // A tall item: the larger of icon and text height, plus 12.
    EXPECT_GE(measure.itemHeight, (UINT)menu.IconHeight() + 12);
    EXPECT_LE(measure.itemHeight, (UINT)menu.IconHeight() + 12 + 20);

    MEASUREITEMSTRUCT separator = {};
    separator.CtlType = ODT_MENU;
    separator.itemData = ItemData(menu.Handle(), 1);
    ASSERT_EQ(1, menu.Measure(&separator));
    EXPECT_EQ((UINT)GetSystemMetrics(SM_CYMENU) / 3, separator.itemHeight);

    // Drawn into a bitmap: the icon column gets the button face, an unselected text area white.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 40);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.itemData = ItemData(menu.Handle(), 2);
    draw.hwndItem = (HWND)menu.Handle();
    draw.hDC = dc;
    draw.rcItem = {0, 0, 200, 40};
    ASSERT_EQ(1, menu.Draw(&draw));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, 2, 2));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 199, 1));
    draw.itemState = ODS_SELECTED;
    ASSERT_EQ(1, menu.Draw(&draw));
    EXPECT_EQ(MenuPalette::Light(GetSysColor(COLOR_HIGHLIGHT)).selectBottom, GetPixel(dc, 190, 38))
        << "the selection fades down to the select colour";
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), GetPixel(dc, 100, 0)) << "the frame is drawn in the highlight colour";
    draw.hwndItem = (HWND)other.Handle();
    EXPECT_EQ(0, menu.Draw(&draw));
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    menu.Destroy();
    other.Destroy();
    DestroyWindow(owner);
}

namespace {

// The item drawn into a white bitmap, row by row.
std::vector<COLORREF> Render(OwnerDrawMenu& menu, int position, int width, int height, UINT state = 0) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.itemData = ItemData(menu.Handle(), position);
    draw.hwndItem = (HWND)menu.Handle();
    draw.hDC = dc;
    draw.rcItem = {0, 0, width, height};
    draw.itemState = state;
    menu.Draw(&draw);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

} // namespace

TEST(OwnerDrawMenu, AnAmpersandMarksTheNextCharacterAndIsNotShown) {
    HWND owner = OwnerWindow();
    MenuNode node(nullptr);
    OwnerDrawMenu menu;
    ASSERT_EQ(1, menu.Create(GetModuleHandleW(nullptr), owner));
    ASSERT_EQ(1, menu.AddItem(L"Fish & Chips", 0, 1, &node, -1, nullptr, nullptr));
    ASSERT_EQ(1, menu.AddItem(L"Fish  Chips", 0, 2, &node, -1, nullptr, nullptr));
    const int width = 200, height = 30;
    std::vector<COLORREF> marked = Render(menu, 0, width, height), plain = Render(menu, 1, width, height);
    // The two differ only by the underline of the space after the ampersand: a short run on one row.
    int firstRow = -1, lastRow = -1, differing = 0;
    for (int i = 0; i < width * height; i++) {
        if (marked[i] == plain[i])
            continue;
        differing++;
        int row = i / width;
        if (firstRow < 0)
            firstRow = row;
        lastRow = row;
    }
    EXPECT_GT(differing, 0) << "the space after the ampersand is underlined";
    EXPECT_EQ(firstRow, lastRow) << "only the underline differs; the ampersand itself is not drawn";
    EXPECT_LT(differing, 12);
    menu.Destroy();
    DestroyWindow(owner);
}

// A popup of the test's items, on an owner window of its own.
class OwnerDrawItems : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, menu.Create(GetModuleHandleW(nullptr), owner)); }
    void TearDown() override {
        menu.Destroy();
        DestroyWindow(owner);
    }
    void Add(const wchar_t* text, UINT state = 0) {
        ASSERT_EQ(1, menu.AddItem(text, state, 1, &node, -1, nullptr, nullptr));
    }
    MEASUREITEMSTRUCT Measured(int position) {
        MEASUREITEMSTRUCT measure = {};
        measure.CtlType = ODT_MENU;
        measure.itemData = ItemData(menu.Handle(), position);
        EXPECT_EQ(1, menu.Measure(&measure));
        return measure;
    }
    UINT MaxHeight() {
        MENUINFO info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIM_MAXHEIGHT;
        EXPECT_TRUE(GetMenuInfo(menu.Handle(), &info));
        return info.cyMax;
    }

    HWND owner = OwnerWindow();
    MenuNode node{nullptr};
    OwnerDrawMenu menu;
};

TEST_F(OwnerDrawItems, AnItemThatCannotBeChosenIsGreyAndNeverHighlighted) {
    Add(L"Empty", MF_DISABLED);
    Add(L"Empty");
    // Whatever the system reports of its state (Wine reports no ODS_DISABLED for it).
    std::vector<COLORREF> inert = Render(menu, 0, 200, 30);
    EXPECT_EQ(inert, Render(menu, 0, 200, 30, ODS_SELECTED)) << "the selection was drawn";
    EXPECT_NE(inert, Render(menu, 1, 200, 30)) << "drawn in the text colour of an item that can be chosen";
}

TEST_F(OwnerDrawItems, ALongNameIsMeasuredToAboutFortyFiveCharactersAndKeptWholeForScreenReaders) {
    std::wstring longName(100, L'W');
    Add(longName.c_str());
    Add(L"Notepad");
    EXPECT_EQ((UINT)(menu.IconWidth() + 11 + menu.MaxTextWidth()), Measured(0).itemWidth);
    EXPECT_LT(Measured(1).itemWidth, Measured(0).itemWidth);
    EXPECT_LE(menu.MaxTextWidth(), GetSystemMetrics(SM_CXSCREEN) * 2 / 5);
    const MenuItemData* record = MenuItemData::FromItemData(ItemData(menu.Handle(), 0));
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(longName, std::wstring(record->accessible.pszWText, record->accessible.cchWText));
}

TEST_F(OwnerDrawItems, APopupTallerThanTheScreenIsGivenWholeRowsAndAShortOneIsLeftAlone) {
    const int available = 1000;
    Add(L"Program");
    menu.FitRows(available);
    EXPECT_EQ(0u, MaxHeight()) << "a popup that fits";
    for (int i = 1; i < 80; i++)
        Add(L"Program");
    const UINT row = Measured(0).itemHeight;
    menu.FitRows(available);
    UINT fitted = MaxHeight();
    ASSERT_GT(fitted, 0u);
    EXPECT_LE(fitted, (UINT)available);
    EXPECT_GT(fitted + row, (UINT)available) << "a whole row more would have fitted";
    // The arrows and margins take the same whatever the rows: one row less room, one row less height.
    menu.FitRows(available - (int)row);
    EXPECT_EQ(fitted - row, MaxHeight());
}

TEST(OwnerDrawMenu, ItemsPastTheThousandthKeepTheirOrder) {
    HWND owner = OwnerWindow();
    MenuNode node(nullptr);
    OwnerDrawMenu menu;
    ASSERT_EQ(1, menu.Create(GetModuleHandleW(nullptr), owner));
    for (int i = 0; i < 1003; i++)
        ASSERT_EQ(1, menu.AddItem(std::to_wstring(i).c_str(), 0, (UINT)i, &node, -1, nullptr, nullptr));
    ASSERT_EQ(1, menu.AddSeparator(&node));
    for (int i : {0, 999, 1000, 1001, 1002})
        EXPECT_STREQ(std::to_wstring(i).c_str(), MenuItemData::FromItemData(ItemData(menu.Handle(), i))->text);
    EXPECT_EQ(1, MenuItemData::FromItemData(ItemData(menu.Handle(), 1003))->isSeparator);
    menu.Destroy();
    DestroyWindow(owner);
}
