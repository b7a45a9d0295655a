#pragma once
// Typing in the open menus. Owner-drawn items lose the system's first-letter navigation, so the
// characters typed while the menus are tracked are read here: each moves the selection to the next item
// whose name starts with what was typed, and never chooses it.

#include "app/popup/MenuLoopListener.h"
#include "app/popup/TypeAheadMiss.h"

#include <windows.h>

#include <vector>

class MenuTypeAhead : public MenuLoopListener {
public:
    // Characters typed further apart than this begin a new prefix.
    static const DWORD PrefixTimeout = 1000;
    static const int MaxPrefix = 64;

    MenuTypeAhead() = default;
    ~MenuTypeAhead() override { Stop(); }
    MenuTypeAhead(const MenuTypeAhead&) = delete;
    MenuTypeAhead& operator=(const MenuTypeAhead&) = delete;

    // Reads the keys of the menus the owner tracks on this thread until Stop; 0 when the menu loop's filter
    // cannot be set.
    int Start(HWND ownerWindow);
    void Stop();
    // While another menu is open over ours (the shell's context menu), its letters are its own.
    void Pause(int paused) { this->paused = paused; }
    int Paused() const { return paused; }
    // Is told when the letters typed into a popup match none of its items (null: nobody).
    void SetMiss(TypeAheadMiss* handler) { miss = handler; }
    // Moves the selection of the open popup to the item at that position, as typing does.
    void Select(HMENU menu, int position) { MoveTo(menu, position); }
    // The innermost open popup, which takes the keys; null when none is open.
    HMENU OpenMenu() const { return open.empty() ? nullptr : open.back(); }

    // The owner window hands these notifications on while its menus are open.
    void OnInitMenuPopup(HMENU menu);
    void OnUninitMenuPopup(HMENU menu);
    void OnMenuSelect(HMENU menu);

    // The first item after the position `after` (-1: from the top), wrapping round, that can be chosen
    // and whose name starts with the first `length` characters of `prefix`; -1 when there is none.
    static int FindItem(HMENU menu, int after, const wchar_t* prefix, int length);
    // The highlighted item of a menu, or -1.
    static int SelectedItem(HMENU menu);
    // The open popup window that shows the menu, or null.
    static HWND PopupWindowOf(HMENU menu);

private:
    int OnMenuLoopMessage(const MSG& message) override;
    void OnLoopMessage(const MSG& message);
    // 1 when the character was handled here and the menu loop must not see it. A character outside the
    // Basic Multilingual Plane comes as two halves, taken together; a lone half is dropped.
    int OnChar(wchar_t character, DWORD time);
    int AddTyped(const wchar_t* units, int count, HMENU menu, DWORD time);
    // Where the characters typed so far lead from the anchor, or -1.
    int Target(HMENU menu) const;
    void MoveTo(HMENU menu, int position);
    void PostStep();

    HWND owner = nullptr;
    // The open popups, outermost first: the last one takes the keys.
    std::vector<HMENU> open;
    // The first half of a character outside the Basic Multilingual Plane, waiting for its second.
    wchar_t highHalf = 0;
    // What was typed into typedMenu, the last character at lastTime; anchor was selected before the first.
    wchar_t typed[MaxPrefix] = {};
    int typedLength = 0;
    HMENU typedMenu = nullptr;
    int anchor = -1;
    DWORD lastTime = 0;
    // The arrow key posted to the menu loop until the selection of steerMenu reaches steerTarget.
    HMENU steerMenu = nullptr;
    int steerTarget = -1;
    int stepsLeft = 0;
    int pendingSteps = 0;
    WPARAM steerKey = 0;
    int paused = 0;
    TypeAheadMiss* miss = nullptr;
};
