#include "base/FontEnumeration.h"
#include "base/GdiObject.h"
#include "base/ScopedDc.h"
#include "base/ScopedSelect.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t* const Missing = L"Qzxv Nonexistent Family";

int CollectFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, void* userData) {
    static_cast<std::vector<std::wstring>*>(userData)->push_back(font->lfFaceName);
    return 1;
}

int StopAfterTwo(const LOGFONTW*, const TEXTMETRICW*, DWORD, void* userData) {
    int* calls = static_cast<int*>(userData);
    return ++*calls < 2 ? 7 : 0;
}

} // namespace

TEST(GdiObject, OwnsItsObjectUntilReleasedOrHandedOn) {
    LOGFONTW font = {};
    font.lfHeight = -13;
    lstrcpynW(font.lfFaceName, L"Veltrix Test Face", LF_FACESIZE);
    GdiObject object;
    EXPECT_EQ(0, object.Release());
    HFONT handle = object.CreateFont(font);
    ASSERT_NE(nullptr, handle);
    LOGFONTW back = {};
    ASSERT_TRUE(GetObjectW(object.As<HFONT>(), sizeof(back), &back));
    EXPECT_STREQ(L"Veltrix Test Face", back.lfFaceName);
    EXPECT_EQ(1, object.Release());
    EXPECT_EQ(nullptr, object.Handle());
    EXPECT_EQ(0u, GetObjectType(handle));

    HBRUSH first = CreateSolidBrush(RGB(1, 2, 3)), second = CreateSolidBrush(RGB(4, 5, 6));
    object.Attach(first);
    object.Attach(second);
    EXPECT_EQ(0u, GetObjectType(first));
    {
        GdiObject moved(std::move(object));
        EXPECT_EQ(nullptr, object.Handle());
        GdiObject assigned;
        assigned = std::move(moved);
        EXPECT_EQ(second, assigned.Handle());
        EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(second));
    }
    EXPECT_EQ(0u, GetObjectType(second));
}

TEST(GdiObject, LoadBitmapReplacesTheObjectAndReportsMissingResources) {
    GdiObject object(CreateSolidBrush(RGB(1, 2, 3)));
    HGDIOBJ brush = object.Handle();
    // 32760 is the system's check-mark bitmap (OBM_CHECK), loaded with no module.
    ASSERT_EQ(1, object.LoadBitmap(nullptr, 32760));
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(object.Handle()));
    EXPECT_EQ(0, object.LoadBitmap(GetModuleHandleW(nullptr), 0x7FFF));
    EXPECT_EQ(nullptr, object.Handle());
}

TEST(ScopedHelpers, DcBelongsToItsWindowAndSelectionIsUndone) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    {
        ScopedDc dc(window);
        EXPECT_EQ(window, WindowFromDC(dc));
        HGDIOBJ original = GetCurrentObject(dc, OBJ_BRUSH);
        GdiObject brush(CreateSolidBrush(RGB(9, 9, 9)));
        {
            ScopedSelect selected(dc, brush.Handle());
            EXPECT_EQ(1, selected.Selected());
            EXPECT_EQ(brush.Handle(), GetCurrentObject(dc, OBJ_BRUSH));
            ScopedSelect nothing(dc, nullptr);
            EXPECT_EQ(0, nothing.Selected());
        }
        EXPECT_EQ(original, GetCurrentObject(dc, OBJ_BRUSH));
    }
    DestroyWindow(window);
    ScopedDc screen;
    EXPECT_GT(GetDeviceCaps(screen, HORZRES), 0);
}

TEST(EnumerateFonts, AnswersWhetherAFamilyIsInstalled) {
    // Which families exist depends on the machine; the first one listed is surely installed.
    std::vector<std::wstring> families;
    EnumerateFonts(CollectFamily, &families, nullptr, DEFAULT_CHARSET, nullptr);
    ASSERT_FALSE(families.empty());
    const wchar_t* installed = families.front().c_str();
    EXPECT_EQ(1, EnumerateFonts(nullptr, nullptr, installed, DEFAULT_CHARSET, nullptr));
    EXPECT_EQ(0, EnumerateFonts(nullptr, nullptr, Missing, DEFAULT_CHARSET, nullptr));
    ScopedDc screen;
    HDC memory = CreateCompatibleDC(screen);
    EXPECT_EQ(1, EnumerateFonts(nullptr, nullptr, installed, DEFAULT_CHARSET, memory));
    EXPECT_EQ(0, EnumerateFonts(nullptr, nullptr, Missing, DEFAULT_CHARSET, memory));
    DeleteDC(memory);
}

TEST(EnumerateFonts, CallbackDecidesHowLongItRunsAndTheResult) {
    int calls = 0;
    EXPECT_EQ(0, EnumerateFonts(StopAfterTwo, &calls, nullptr, DEFAULT_CHARSET, nullptr));
    EXPECT_EQ(2, calls);
    calls = 0;
    EXPECT_EQ(0, EnumerateFonts(StopAfterTwo, &calls, Missing, DEFAULT_CHARSET, nullptr));
    EXPECT_EQ(0, calls);
    std::vector<std::wstring> all, faces;
    EnumerateFonts(CollectFamily, &all, nullptr, DEFAULT_CHARSET, nullptr);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(1, EnumerateFonts(CollectFamily, &faces, all.back().c_str(), DEFAULT_CHARSET, nullptr));
    ASSERT_FALSE(faces.empty());
    for (const std::wstring& face : faces)
        EXPECT_EQ(all.back(), face);
}
