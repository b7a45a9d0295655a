#include "app/cache/UsageStore.h"

#include "app/cache/SqliteLibrary.h"
#include "app/tree/MenuNode.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

const char SchemaSql[] = "CREATE TABLE IF NOT EXISTS usage (key TEXT PRIMARY KEY, count INTEGER NOT NULL, "
                         "last INTEGER NOT NULL);";
// Bounded read: a file grown by hand past the bound costs no more than the bound.
const wchar_t ReadSql[] = L"SELECT key, count, last FROM usage LIMIT 4000;";
// The starts counted here are added to those in the file: another instance (a resident one and a once-mode
// run) may have written its own since this one read it.
const wchar_t SaveSql[] = L"INSERT INTO usage (key, count, last) VALUES (?1, ?2, ?3) ON CONFLICT(key) DO UPDATE "
                          L"SET count = min(count + excluded.count, 1000000), last = max(last, excluded.last);";
const wchar_t DropSql[] = L"DELETE FROM usage WHERE key = ?1;";
const long long SecondsPerMonth = 30LL * 24 * 3600;

// One connection, opened for a read or a write and closed after it: the file is held only for a moment,
// so two instances (a resident one and a once-mode run) both count.
class Connection {
public:
    explicit Connection(const wchar_t* path) {
        if (!SqliteLibrary::Acquire())
            return;
        started = 1;
        if (sqlite3_open16(path, &db) != SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
            return;
        }
        sqlite3_busy_timeout(db, 2000);
    }
    ~Connection() {
        if (db)
            sqlite3_close(db);
        if (started)
            SqliteLibrary::Release(1);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    sqlite3* Db() const { return db; }
    int Execute(const char* sql) { return db && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

private:
    sqlite3* db = nullptr;
    int started = 0;
};

class Statement {
public:
    Statement(sqlite3* db, const wchar_t* sql) {
        if (db && sqlite3_prepare16_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* Get() const { return statement; }
    // Runs the statement once with a key and, for a save, its use.
    int Run(const std::wstring& key, const UsageStore::Use* use) {
        if (!statement)
            return 0;
        sqlite3_reset(statement);
        sqlite3_bind_text16(statement, 1, key.c_str(), (int)(key.size() * sizeof(wchar_t)), SQLITE_TRANSIENT);
        if (use) {
            sqlite3_bind_int64(statement, 2, use->count);
            sqlite3_bind_int64(statement, 3, use->last);
        }
        return sqlite3_step(statement) == SQLITE_DONE;
    }

private:
    sqlite3_stmt* statement = nullptr;
};

} // namespace

long long UsageStore::Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks = {{now.dwLowDateTime, now.dwHighDateTime}};
    // From 1601 in 100-nanosecond steps to seconds since 1970.
    return (long long)(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

std::wstring UsageStore::KeyOf(const MenuNode& node) {
    if (node.flags & NODE_COMMAND)
        return L"command:" + std::to_wstring(node.commandType);
    if (node.flags & NODE_APP)
        return L"app:" + std::wstring(node.relativePath);
    if ((node.flags & NODE_ITEM) && !node.relativePath.IsEmpty())
        return std::wstring(node.relativePath);
    return std::wstring();
}

double UsageStore::ScoreOf(const Use& use, long long now) {
    long long age = now > use.last ? now - use.last : 0;
    return use.count / (1.0 + (double)age / SecondsPerMonth);
}

double UsageStore::Score(const std::wstring& key, long long now) const {
    auto found = uses.find(key);
    return found == uses.end() ? 0 : ScoreOf(found->second, now);
}

int UsageStore::Open(const wchar_t* file) {
    uses.clear();
    changed.clear();
    if (!file || !*file || !path.Assign(file))
        return 0;
    if (GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES)
        return 1;
    int readable = 0;
    {
        Connection connection(file);
        Statement read(connection.Db(), ReadSql);
        int step = SQLITE_DONE;
        while (read.Get() && (step = sqlite3_step(read.Get())) == SQLITE_ROW) {
            const wchar_t* key = static_cast<const wchar_t*>(sqlite3_column_text16(read.Get(), 0));
            size_t length = (size_t)sqlite3_column_bytes16(read.Get(), 0) / sizeof(wchar_t);
            long long count = sqlite3_column_int64(read.Get(), 1), last = sqlite3_column_int64(read.Get(), 2);
            // Whatever the file says, only a sane row counts.
            if (key && length > 0 && length <= MaxKeyLength && count > 0 && count <= 1000000 && last > 0)
                uses[std::wstring(key, length)] = Use{(unsigned)count, last};
        }
        readable = read.Get() && step == SQLITE_DONE;
        // A file without the table yet (made and left empty) is ours too.
        if (!read.Get() && connection.Db())
            readable = connection.Execute(SchemaSql);
    }
    // Not a database, or damaged: the counts start again rather than never being kept.
    if (!readable) {
        uses.clear();
        DeleteFileW(file);
    }
    return 1;
}

void UsageStore::Count(const std::wstring& key, long long now) {
    if (key.empty() || key.size() > MaxKeyLength)
        return;
    Use& use = uses[key];
    use.count = use.count < 1000000 ? use.count + 1 : use.count;
    use.last = now;
    changed[key]++;
}

std::vector<std::pair<double, std::wstring>> UsageStore::Ranked(long long now) const {
    std::vector<std::pair<double, std::wstring>> scores;
    for (const auto& use : uses)
        scores.emplace_back(ScoreOf(use.second, now), use.first);
    std::stable_sort(scores.begin(), scores.end(),
                     [](const std::pair<double, std::wstring>& a, const std::pair<double, std::wstring>& b) {
                         return a.first > b.first;
                     });
    return scores;
}

void UsageStore::AgeOut(long long now, std::vector<std::wstring>& gone) {
    std::vector<std::pair<double, std::wstring>> scores = Ranked(now);
    for (size_t i = 0; i < scores.size(); i++) {
        if (i >= MaxEntries || scores[i].first < MinScore) {
            uses.erase(scores[i].second);
            gone.push_back(scores[i].second);
        }
    }
}

int UsageStore::Write(long long now) {
    if (changed.empty() || path.IsEmpty())
        return 1;
    std::vector<std::wstring> gone;
    AgeOut(now, gone);
    Connection connection(path);
    if (!connection.Execute(SchemaSql) || !connection.Execute("BEGIN IMMEDIATE;"))
        return 0;
    Statement save(connection.Db(), SaveSql), drop(connection.Db(), DropSql);
    int ok = save.Get() && drop.Get();
    for (const auto& key : changed) {
        auto use = uses.find(key.first);
        Use added = {(unsigned)key.second, use != uses.end() ? use->second.last : now};
        if (use != uses.end())
            ok = ok && save.Run(use->first, &added);
    }
    for (const std::wstring& key : gone)
        ok = ok && drop.Run(key, nullptr);
    if (!ok || !connection.Execute("COMMIT;")) {
        connection.Execute("ROLLBACK;");
        return 0;
    }
    changed.clear();
    return 1;
}

std::vector<std::wstring> UsageStore::Top(size_t n, long long now) const {
    std::vector<std::pair<double, std::wstring>> scores = Ranked(now);
    std::vector<std::wstring> keys;
    for (size_t i = 0; i < n && i < scores.size(); i++)
        keys.push_back(scores[i].second);
    return keys;
}
