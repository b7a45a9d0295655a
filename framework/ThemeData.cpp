#include "framework/ThemeData.h"

int ThemeData::Open(HWND target, const wchar_t* classes) {
    Close();
    window = target;
    classList.Assign(classes ? classes : L"");
    // Windows XP brought visual styles; the program also runs where uxtheme.dll does not exist.
    if (!uxtheme.Load(L"uxtheme.dll"))
        return 0;
    openThemeData = uxtheme.Get<OpenThemeDataFn>("OpenThemeData");
    closeThemeData = uxtheme.Get<CloseThemeDataFn>("CloseThemeData");
    isThemeActive = uxtheme.Get<IsThemeActiveFn>("IsThemeActive");
    if (!openThemeData || !closeThemeData || !isThemeActive)
        return 0;
    if (!classes)
        return 1;
    theme = openThemeData(window, classes);
    return theme != nullptr;
}

int ThemeData::DrawBackground(HDC dc, int part, int state, const RECT& rect) {
    if (!uxtheme.Handle())
        return 0;
    if (!drawThemeBackground)
        drawThemeBackground = uxtheme.Get<DrawThemeBackgroundFn>("DrawThemeBackground");
    if (!drawThemeBackground || !theme)
        return 0;
    HRESULT result = drawThemeBackground(theme, dc, part, state, &rect, nullptr);
    if (result == E_HANDLE) {
        // The user switched themes since the handle was opened: it is stale. Without an active theme
        // there is nothing to reopen, and the caller draws plainly.
        if (!isThemeActive || !isThemeActive())
            return 0;
        if (closeThemeData)
            closeThemeData(theme);
        theme = openThemeData(window, classList);
        if (!theme)
            return 0;
        result = drawThemeBackground(theme, dc, part, state, &rect, nullptr);
    }
    return result == S_OK;
}

int ThemeData::IsPartiallyTransparent(int part, int state) {
    if (!uxtheme.Handle() || !theme)
        return 0;
    if (!isPartiallyTransparent)
        isPartiallyTransparent =
            uxtheme.Get<IsThemeBackgroundPartiallyTransparentFn>("IsThemeBackgroundPartiallyTransparent");
    return isPartiallyTransparent && isPartiallyTransparent(theme, part, state) ? 1 : 0;
}

int ThemeData::DrawParentBackground(HDC dc, const RECT* rect) {
    if (!uxtheme.Handle())
        return 0;
    if (!drawParentBackground)
        drawParentBackground = uxtheme.Get<DrawThemeParentBackgroundFn>("DrawThemeParentBackground");
    return drawParentBackground && drawParentBackground(window, dc, rect) == S_OK;
}

void ThemeData::Close() {
    if (theme && closeThemeData)
        closeThemeData(theme);
    theme = nullptr;
    openThemeData = nullptr;
    closeThemeData = nullptr;
    isThemeActive = nullptr;
    drawThemeBackground = nullptr;
    isPartiallyTransparent = nullptr;
    drawParentBackground = nullptr;
    uxtheme.Free();
}
