#include "app/search/TreeSearch.h"

#include "app/search/NameFold.h"
#include "app/tree/MenuNode.h"

#include <windows.h>

#include <algorithm>

namespace {

bool Separates(wchar_t character) {
    return character == L' ' || character == L'-' || character == L'_' || character == L'.' || character == L'(' ||
           character == L'[' || character == L'/' || character == L'\\' || character == L'+' || character == L',' ||
           character == L':' || character == L'&';
}

bool Better(const TreeSearch::Match& a, const TreeSearch::Match& b) {
    if (a.rank != b.rank)
        return a.rank < b.rank;
    if (a.use != b.use)
        return a.use > b.use;
    return a.order < b.order;
}

} // namespace

int TreeSearch::IsWordStart(const std::wstring& shown, size_t position) {
    if (position == 0)
        return 1;
    wchar_t before = shown[position - 1], at = shown[position];
    // "VisualStudio" and "Tool2" have words too.
    return Separates(before) || (IsCharLowerW(before) && IsCharUpperW(at)) ||
           (iswdigit(at) && !iswdigit(before) && !Separates(at));
}

void TreeSearch::Index(MenuNode& root) {
    candidates.clear();
    Add(root, -1);
}

void TreeSearch::Add(MenuNode& folder, long folderIndex) {
    for (MenuNode* child = folder.FirstChild(); child; child = folder.NextChild(child)) {
        if (!(child->flags & (NODE_ITEM | NODE_FOLDER | NODE_COMMAND)) || child->name.IsEmpty())
            continue;
        if ((child->flags & NODE_FOLDER) && !child->HasLaunchable())
            continue;
        Candidate candidate;
        candidate.node = child;
        candidate.shown = NameFold::Shown(child->name);
        candidate.folded = NameFold::Fold(candidate.shown);
        candidate.folder = folderIndex;
        candidate.wide = false;
        for (size_t i = 0; i < candidate.shown.size(); i++) {
            if (IsWordStart(candidate.shown, i) && !Separates(candidate.shown[i]))
                candidate.initials.push_back(candidate.folded[i]);
            candidate.wide |= candidate.shown[i] > 0x7F;
        }
        candidates.push_back(std::move(candidate));
        if (child->flags & NODE_FOLDER)
            Add(*child, (long)candidates.size() - 1);
    }
}

int TreeSearch::SameAt(const Candidate& candidate, size_t position, const std::wstring& text) {
    // Folding drops every accent; the user's locale may count a letter with one as a letter of its own
    // ("å" in Swedish), and decides, as the menus' typing does.
    if (!candidate.wide)
        return 1;
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | NORM_IGNORENONSPACE,
                          candidate.shown.c_str() + position, (int)text.size(), text.c_str(),
                          (int)text.size()) == CSTR_EQUAL;
}

int TreeSearch::RankOf(const Candidate& candidate, const std::wstring& text, const std::wstring& folded) const {
    int rank = RANK_NONE;
    for (size_t at = candidate.folded.find(folded); at != std::wstring::npos && rank > RANK_NAME_START;
         at = candidate.folded.find(folded, at + 1)) {
        if (!SameAt(candidate, at, text))
            continue;
        int here = at == 0 ? RANK_NAME_START : IsWordStart(candidate.shown, at) ? RANK_WORD_START : RANK_INSIDE;
        rank = std::min(rank, here);
    }
    if (rank > RANK_INITIALS && folded.size() >= 2 && candidate.initials.compare(0, folded.size(), folded) == 0)
        rank = RANK_INITIALS;
    return rank;
}

int TreeSearch::Find(const wchar_t* text, std::vector<Match>& matches, int limit, UseScore score, void* context) const {
    matches.clear();
    std::wstring typed(text ? text : L"");
    std::wstring folded = NameFold::Fold(typed);
    if (folded.empty() || limit <= 0)
        return 0;
    // A folder comes before what it holds: its own rank is known when its entries are ranked.
    std::vector<int> ownRanks(candidates.size(), RANK_NONE);
    for (size_t i = 0; i < candidates.size(); i++) {
        const Candidate& candidate = candidates[i];
        int rank = ownRanks[i] = RankOf(candidate, typed, folded);
        if (rank == RANK_NONE && candidate.folder >= 0 && ownRanks[(size_t)candidate.folder] <= RANK_INITIALS)
            rank = RANK_FOLDER;
        if (rank == RANK_NONE)
            continue;
        double use = score ? score(*candidate.node, context) : 0;
        matches.push_back({candidate.node, rank, use, i});
    }
    size_t kept = std::min(matches.size(), (size_t)limit);
    std::partial_sort(matches.begin(), matches.begin() + (long)kept, matches.end(), Better);
    matches.resize(kept);
    return (int)kept;
}
