#pragma once
// A resident Veltrix on a Start Menu of the test's own, whose every entry starts the marker program with a
// file to leave behind: keys typed into its menu from outside as a user types them, judged by which
// entry's program then ran.

#include "TempFolder.h"
#include "VeltrixProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class TypedMenuTest : public ::testing::Test {
protected:
    // The entries by their paths below the menu's root, without ".lnk"; their folders are made too.
    TypedMenuTest(const wchar_t* label, std::vector<std::wstring> entryPaths);
    void SetUp() override;
    void TearDown() override;

    // Starts Veltrix -s on the test's menu and waits for its window.
    void StartResident();
    std::wstring Mark(const std::wstring& entry) const { return marks.Path() + L"\\" + entry; }
    // Opens a fresh menu from the notification icon and types the keys (see Type).
    void OpenAndType(const std::wstring& keys);
    // Letters, "\b" Backspace, "\r" Enter, ">" Right, "\x1B" Escape, at a quick typist's pace: well inside
    // the time that keeps a prefix going, and a loaded machine still sees each key after the one before.
    static void Type(const std::wstring& keys);
    // The entry whose program ran, or "" when none did within the time; its file is removed.
    std::wstring Started(DWORD milliseconds);

    std::vector<std::wstring> entries;
    TempFolder root;
    TempFolder marks;
    VeltrixProcess veltrix;
    HWND main = nullptr;
};
