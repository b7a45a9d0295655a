#pragma once
// The disposable database of entry names and icons, keyed by relative path, source flags (with the icon's
// size, see RowFlags) and change stamp. Every failure is silent: a missing, locked or damaged cache only
// makes the menus slower.

#include "app/cache/CacheCursor.h"
#include "base/WString.h"

#include <stddef.h>

#include <memory>
#include <vector>

struct sqlite3;

// A byte buffer bound to a statement parameter; it must outlive every step of that statement.
struct CacheBlob {
    const unsigned char* bytes;
    size_t size;
};

class IconCache {
public:
    static const int MaxBlobs = 4;
    // The layout of the rows this program reads and writes, kept in the file's user_version. Files of
    // the first releases carry 0 and the same layout.
    static const int SchemaVersion = 1;
    // How long a write (and the first read of a build) waits for another instance's lock, in ms.
    static const int BusyWait = 1500;
    // Once a wait has run out, how long nothing waits again: a lock held that long is held for good,
    // and every statement of a start waiting for it again made the menu appear seconds late.
    static const DWORD HeldRetryMs = 10000;

    IconCache() = default;
    ~IconCache() { Close(); }
    IconCache(const IconCache&) = delete;
    IconCache& operator=(const IconCache&) = delete;

    // Open's choices: writes synchronous or not (the cache is disposable); file locks given back after each
    // use, or kept once taken.
    enum Writes { WRITES_UNSYNCED = 0, WRITES_DURABLE = 1 };
    enum Locking { LOCKING_NORMAL = 0, LOCKING_EXCLUSIVE = 1 };

    int Open(const wchar_t* path, Writes writes, Locking locking);
    // Cursors handed out must be released first.
    void Close();
    int IsOpen() const { return db != nullptr; }
    // Creates the table and its indexes unless the table answers a query; replaces a damaged file. A file
    // of another layout (another schema version, or a table the statements cannot use) is set aside
    // under the name ".schema-N" after the cache's own and a fresh cache is made: it is no damage, and
    // it may be the cache of another version of the program.
    int EnsureSchema();
    // The name a file of schema version N is set aside under.
    static void SetAsideName(const wchar_t* path, int version, WString& name);

    // A read transaction around the lookups of one menu build: one file lock for all of them, given back
    // at EndRead, so another instance can write its rows between the menus of a resident one. A build
    // that finds the file locked gives up its lookups at the first refusal.
    void BeginRead();
    void EndRead();

    // Runs one statement with blobs bound to parameters 1..blobCount. With cursor, the statement is
    // handed over standing on its first row (or past the end), to be given back with ReleaseCursor.
    int Execute(const wchar_t* sql, CacheCursor** cursor = nullptr, const CacheBlob* blobs = nullptr,
                int blobCount = 0);
    // A cursor on the first result row, or null when the statement fails or yields no row.
    CacheCursor* Query(const wchar_t* sql);
    void ReleaseCursor(CacheCursor* cursor);

    // The flags column of the row holding an entry of these flags with its icon at size x size pixels.
    static unsigned RowFlags(unsigned flags, int size);

    // 1 and the stored name and icon blob when a row matches all three keys; outputs untouched otherwise.
    int LookupEntry(const wchar_t* path, unsigned flags, unsigned hash, WString& name,
                    std::vector<unsigned char>& blob);

    // The writer at exit: one transaction around all rows. When the transaction cannot start (the
    // cache is held by another instance) every row is dropped; a row is replaced by path and flags.
    int BeginWrite();
    int WriteEntry(const wchar_t* path, unsigned flags, unsigned hash, const wchar_t* name, const unsigned char* blob,
                   size_t blobSize);
    int WriteEntry(const wchar_t* path, unsigned flags, unsigned hash, const wchar_t* name,
                   const std::vector<unsigned char>& blob) {
        return WriteEntry(path, flags, hash, name, blob.data(), blob.size());
    }
    int EndWrite();

private:
    enum WriteState { WRITE_NONE, WRITE_OPEN, WRITE_REFUSED };

    int OpenConnection();
    void CloseConnection();
    void NoteFailure(int code);
    // After HeldRetryMs without waiting, statements wait for another instance's lock again.
    void WaitAgainIfDue();
    int Recreate();
    int CreateSchema();
    // The file's user_version, -1 when it cannot be read.
    int StoredVersion();
    // 1 when the lookup and insert statements compile against the file's table.
    int StatementsFit();
    int SetAside(int version);

    sqlite3* db = nullptr;
    WString path;
    Writes writes = WRITES_DURABLE;
    Locking locking = LOCKING_NORMAL;
    int initialized = 0;
    // A read or write reported a file that is not a database or is corrupt.
    int damaged = 0;
    WriteState writeState = WRITE_NONE;
    int reading = 0;
    // A lookup of the current read transaction was refused a lock.
    int readBlocked = 0;
    // A wait for another instance's lock ran out at heldSince: statements fail at once until it is due.
    int held = 0;
    DWORD heldSince = 0;
    int lastResult = 0;
    int cursorsOut = 0;
    std::unique_ptr<CacheCursor> spare;
    CacheCursor lookup;
    CacheCursor insert;
};
