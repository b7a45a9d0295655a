#pragma once
// What the user starts from the menus and how lately: the count and the last start of each entry, kept in
// a small SQLite file of its own where the user's data lives (not in the icon cache, which disk cleaners
// empty). It orders the matches of a search and the most-used entries. Nothing of it leaves the machine.
// The counts live in memory; the changes are written together, when the owner asks, never while an entry
// starts. The file is bounded: rarely and long unused entries age out.

#include "base/WString.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

class MenuNode;

class UsageStore {
public:
    struct Use {
        unsigned count;
        // Seconds since 1970 (UTC).
        long long last;
    };
    // Rows kept at most, the lowest scores dropped first; a score below MinScore ages out.
    static constexpr size_t MaxEntries = 2000;
    static constexpr double MinScore = 0.05;
    // Keys longer than this are no entry's.
    static constexpr size_t MaxKeyLength = 1024;

    UsageStore() = default;
    UsageStore(const UsageStore&) = delete;
    UsageStore& operator=(const UsageStore&) = delete;

    // Reads what the file keeps; a missing file is an empty memory, made at the first Write. A file that is
    // no database of ours is set aside (deleted) so that counting starts again. 0 only without a path.
    int Open(const wchar_t* file);
    // One more start of the entry with this key, at now.
    void Count(const std::wstring& key, long long now);
    // Writes the changes since the last write in one transaction; 1 when there was nothing to write or it
    // was written.
    int Write(long long now);
    int Pending() const { return !changed.empty(); }
    // More starts and more lately score higher: the count divided by 1 + the months since the last start.
    double Score(const std::wstring& key, long long now) const;
    // The keys of the n entries scoring highest, best first.
    std::vector<std::wstring> Top(size_t n, long long now) const;
    size_t Size() const { return uses.size(); }

    // The key of a node: its path below the Programs folders (the same for both, as the menu merges them),
    // an app's ID, or a fixed command's number; empty for what cannot be started.
    static std::wstring KeyOf(const MenuNode& node);
    static long long Now();

private:
    static double ScoreOf(const Use& use, long long now);
    // Every key with its score, the highest first.
    std::vector<std::pair<double, std::wstring>> Ranked(long long now) const;
    void AgeOut(long long now, std::vector<std::wstring>& gone);

    WString path;
    std::map<std::wstring, Use> uses;
    // The starts counted since the last write, by key.
    std::map<std::wstring, int> changed;
};
