#pragma once
// Finds programs anywhere in the tree by a few letters of their names, best matches first: the name
// starts with the letters, then a word of it does, then its initials, then the letters anywhere inside
// it, then the name of its folder. Within each, what the user starts more and more lately comes first.
// The names are read from the tree in memory once; each search then only compares folded strings.

#include <string>
#include <vector>

class MenuNode;

class TreeSearch {
public:
    enum Rank : int { RANK_NAME_START, RANK_WORD_START, RANK_INITIALS, RANK_INSIDE, RANK_FOLDER, RANK_NONE };
    struct Match {
        MenuNode* node;
        int rank;
        double use;
        // Index of the candidate, for the order of equal matches.
        size_t order;
    };
    static const int MaxMatches = 12;
    // How much the user starts the node, more and more lately scoring higher; 0 for never.
    typedef double (*UseScore)(const MenuNode& node, void* context);

    // Reads the names of every folder, entry, app and command under root; the nodes must outlive the
    // searches until the next Index.
    void Index(MenuNode& root);
    // The best matches of the text, best first, at most limit; their number.
    int Find(const wchar_t* text, std::vector<Match>& matches, int limit = MaxMatches, UseScore score = nullptr,
             void* context = nullptr) const;
    size_t Size() const { return candidates.size(); }

private:
    struct Candidate {
        MenuNode* node;
        std::wstring shown;
        std::wstring folded;
        std::wstring initials;
        // The candidate of the folder it lies in, or -1 at the top.
        long folder;
        // The name holds characters beyond ASCII, whose folding the user's locale must confirm.
        bool wide;
    };

    void Add(MenuNode& folder, long folderIndex);
    int RankOf(const Candidate& candidate, const std::wstring& text, const std::wstring& folded) const;
    static int IsWordStart(const std::wstring& shown, size_t position);
    static int SameAt(const Candidate& candidate, size_t position, const std::wstring& text);

    std::vector<Candidate> candidates;
};
