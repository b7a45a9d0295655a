#include "app/shell/PackagedApps.h"
#include "app/tree/AppEntries.h"
#include "app/tree/MenuNode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Names(const MenuNode& root) {
    std::vector<std::wstring> names;
    for (MenuNode* child = root.FirstChild(); child; child = root.NextChild(child))
        names.push_back((child->flags & (NODE_SEPARATOR | NODE_COMMAND))
                            ? L"-"
                            : std::wstring(child->name.Buffer()) + ((child->flags & NODE_APP) ? L" (app)" : L""));
    return names;
}

PackagedApp App(const wchar_t* id, const wchar_t* name, const wchar_t* stamp) {
    PackagedApp app;
    app.id.Assign(id);
    app.name.Assign(name);
    app.stamp = PackagedApps::StampOf(stamp);
    return app;
}

const wchar_t Calculator[] = L"Microsoft.WindowsCalculator_8wekyb3d8bbwe!App";

} // namespace

TEST(AppEntries, MergeSortsAppsAmongTheEntriesAndLeavesOutThoseAShortcutOrAnEarlierAppStandsFor) {
    const std::vector<PackagedApp> apps = {
        App(L"Microsoft.WindowsTerminal_8wekyb3d8bbwe!App", L"Terminal", L"Microsoft.WindowsTerminal_1.18"),
        App(Calculator, L"Calculator", L"Microsoft.WindowsCalculator_11.2210.0.0_x64__8wekyb3d8bbwe"),
        App(L"MICROSOFT.WINDOWSCALCULATOR_8wekyb3d8bbwe!app", L"Calculator again", L"x"),
        App(L"Microsoft.Paint_8wekyb3d8bbwe!App", L"Paint", L"Microsoft.Paint_11.1")};
    struct {
        const char* what;
        std::vector<const wchar_t*> entries; // "-" for the Empty placeholder, a trailing "\" for a folder
        std::vector<std::wstring> expected;
    } cases[] = {{"among entries and folders",
                  {L"Accessories\\", L"Notepad++", L"Zoom"},
                  {L"Accessories", L"Calculator (app)", L"Notepad++", L"Terminal (app)", L"Zoom"}},
                 {"in an empty menu", {L"-"}, {L"Calculator (app)", L"Terminal (app)"}}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        MenuNode root(nullptr);
        for (const wchar_t* entry : test.entries) {
            std::wstring name(entry);
            if (name == L"-") {
                root.AddEmptyPlaceholder();
                continue;
            }
            MenuNode* node = new MenuNode(&root);
            node->flags = name.back() == L'\\' ? NODE_FOLDER : NODE_ITEM;
            node->name.Assign(name.substr(0, name.find(L'\\')).c_str());
            root.AddChild(node);
        }
        // Paint's shortcut carries its ID (in another case): it is listed once, as the shortcut.
        EXPECT_EQ(2, AppEntries::Merge(root, apps, {L"microsoft.paint_8wekyb3d8bbwe!App"}));
        EXPECT_EQ(test.expected, Names(root));
    }

    // In a tree with its fixed entries (a resident instance's, when a read found other apps), the apps of
    // the new list take the place of the old ones, above the fixed entries.
    MenuNode root(nullptr);
    AppEntries::Merge(root, {apps[0]}, {});
    root.AddSeparator();
    root.AddCommand(CMD_ABOUT);
    AppEntries::Remove(root);
    AppEntries::Merge(root, {apps[1], App(L"Z!App", L"Zune", L"1")}, {});
    EXPECT_EQ((std::vector<std::wstring>{L"Calculator (app)", L"Zune (app)", L"-", L"-"}), Names(root));

    // An app's node: its ID names its item in the Applications folder, and its hash follows its package.
    const MenuNode& app = *root.FirstChild();
    WString path;
    ASSERT_TRUE(MenuNode::SourceFolder(app.flags, path));
    path.Append(app.relativePath);
    EXPECT_STREQ((std::wstring(L"shell:AppsFolder\\") + Calculator).c_str(), path.Buffer());
    EXPECT_TRUE(PackagedApps::IsItemPath(path));
    EXPECT_EQ(apps[1].stamp, app.hash);
    EXPECT_NE(PackagedApps::StampOf(L"Microsoft.WindowsCalculator_11.2211.0.0_x64__8wekyb3d8bbwe"), app.hash);
}
