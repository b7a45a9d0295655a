#include "app/search/TreeSearch.h"
#include "app/tree/MenuNode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

MenuNode* Add(MenuNode& parent, unsigned flags, const wchar_t* name) {
    MenuNode* node = new MenuNode(&parent);
    node->flags = flags;
    node->name.Assign(name);
    parent.AddChild(node);
    return node;
}

// Started often: the installer.
double Use(const MenuNode& node, void*) {
    return std::wstring(node.name) == L"Visual Studio Installer" ? 5 : 0;
}

} // namespace

TEST(TreeSearch, FindsByStartWordInitialsInsideAndFolderInThatOrder) {
    MenuNode root(nullptr);
    MenuNode* studio = Add(root, NODE_FOLDER, L"Microsoft Visual Studio");
    Add(*studio, NODE_ITEM, L"Visual Studio Code");
    Add(*studio, NODE_ITEM, L"Visual Studio Installer");
    MenuNode* games = Add(root, NODE_FOLDER, L"Games");
    Add(*games, NODE_ITEM, L"Mines");
    Add(root, NODE_FOLDER, L"Empty Games");
    Add(root, NODE_ITEM, L"\u00C9diteur de texte");
    Add(root, NODE_ITEM, L"Vivaldi");
    Add(root, NODE_ITEM, L"&Notepad++");
    Add(root, NODE_SEPARATOR, L"");
    TreeSearch search;
    search.Index(root);
    const struct {
        const wchar_t* text;
        TreeSearch::UseScore use;
        std::vector<std::wstring> expected;
    } cases[] = {
        {L"vis", nullptr, {L"Visual Studio Code", L"Visual Studio Installer", L"Microsoft Visual Studio"}},
        {L"vis", Use, {L"Visual Studio Installer", L"Visual Studio Code", L"Microsoft Visual Studio"}},
        {L"STUDIO", nullptr, {L"Microsoft Visual Studio", L"Visual Studio Code", L"Visual Studio Installer"}},
        {L"vsc", nullptr, {L"Visual Studio Code"}},
        {L"mvs", nullptr, {L"Microsoft Visual Studio", L"Visual Studio Code", L"Visual Studio Installer"}},
        {L"ode", nullptr, {L"Visual Studio Code"}},
        {L"gam", nullptr, {L"Games", L"Mines"}},
        {L"edit", nullptr, {L"\u00C9diteur de texte"}},
        {L"notepad+", nullptr, {L"&Notepad++"}},
        {L"xyz", nullptr, {}},
    };
    for (const auto& test : cases) {
        std::vector<TreeSearch::Match> matches;
        search.Find(test.text, matches, TreeSearch::MaxMatches, test.use);
        std::vector<std::wstring> names;
        for (const auto& match : matches)
            names.push_back(std::wstring(match.node->name));
        EXPECT_EQ(test.expected, names) << test.text;
    }
}
