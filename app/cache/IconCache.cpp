#include "app/cache/IconCache.h"

#include "app/cache/SqliteLibrary.h"
#include "base/FileSystem.h"

#include <sqlite3.h>

#include <new>
#include <string>

namespace {

const wchar_t ProbeSql[] = L"SELECT * FROM cache LIMIT 1;";
const wchar_t* const SchemaSql[] = {
    L"CREATE TABLE IF NOT EXISTS `cache` (  `id` INTEGER PRIMARY KEY AUTOINCREMENT,  `path` varchar(260) NOT NULL,  "
    L"`flags` INTEGER,  `hash` INTEGER,  `name` varchar(260) NOT NULL,  `icon` BLOB NOT NULL);",
    L"CREATE UNIQUE INDEX unique_index ON cache (path, flags);",
    L"CREATE INDEX hash ON cache (hash);",
};
// Bound parameters store and compare exactly what the literal form "path='...' AND flags=%u AND hash=%u"
// would: the path as text, flags and the unsigned stamp as integers. One statement serves every entry.
const wchar_t LookupSql[] = L"SELECT name, icon FROM `cache` WHERE path=?1 AND flags=?2 AND hash=?3;";
const wchar_t InsertSql[] =
    L"INSERT OR REPLACE INTO `cache` (`path`,`flags`,`hash`,`name`,`icon`) VALUES (?1,?2,?3,?4,?5);";

int IsBusy(int code) {
    code &= 0xFF;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

int IsDamage(int code) {
    code &= 0xFF;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

std::string ToUtf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string utf8((size_t)size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize((size_t)size - 1);
    return utf8;
}

} // namespace

int IconCache::Open(const wchar_t* file, Writes openWrites, Locking openLocking) {
    Close();
    if (!file || !*file || !path.Assign(file))
        return 0;
    writes = openWrites;
    locking = openLocking;
    if (OpenConnection())
        return 1;
    return damaged && Recreate();
}

int IconCache::OpenConnection() {
    damaged = 0;
    // sqlite3_shutdown is process-wide: with two connections open (a test, a probe of a locked file, the
    // memory of use) the library may only go down when the last one has closed.
    if (!SqliteLibrary::Acquire())
        return 0;
    initialized = 1;
    std::string utf8 = ToUtf8(path.Buffer());
    int result = utf8.empty() ? SQLITE_CANTOPEN : sqlite3_open(utf8.c_str(), &db);
    if (result != SQLITE_OK) {
        // Even a failed open hands back a handle that must be closed.
        sqlite3_close(db);
        db = nullptr;
        NoteFailure(result);
        return 0;
    }
    // Another instance holds its lock for a moment (a build's reads, the write at exit): wait for it
    // rather than lose the rows or the lookups.
    sqlite3_busy_timeout(db, BusyWait);
    held = 0;
    // Both settings only speed things up; a database that refuses them still works.
    if (writes == WRITES_UNSYNCED)
        Execute(L"PRAGMA synchronous = OFF;");
    if (locking == LOCKING_EXCLUSIVE)
        Execute(L"PRAGMA locking_mode = EXCLUSIVE;");
    // Lookups read the file through a mapping instead of one read call per page: a menu of thousands of
    // entries touches more pages than the page cache holds, and every read is a system call (under Wine
    // a costly one). 64 MB covers tens of thousands of rows and stays small in a 32-bit address space;
    // pages beyond it are read as before.
    Execute(L"PRAGMA mmap_size = 67108864;");
    // Pages already read stay in a page cache large enough for a menu of thousands of entries (the
    // default 2 MB holds under two thousand rows of icons), so a second menu reads none of them again.
    Execute(L"PRAGMA cache_size = -16384;");
    return 1;
}

void IconCache::Close() {
    if (writeState == WRITE_OPEN)
        EndWrite();
    writeState = WRITE_NONE;
    CloseConnection();
    path.Assign(L"", 0);
}

void IconCache::CloseConnection() {
    lookup.Finalize();
    insert.Finalize();
    spare.reset();
    if (db) {
        // A cursor still out would make sqlite3_close fail and leak the connection; the deferred
        // close finishes when that cursor is finalized.
        if (cursorsOut)
            sqlite3_close_v2(db);
        else
            sqlite3_close(db);
        db = nullptr;
    }
    if (initialized) {
        initialized = 0;
        SqliteLibrary::Release(!cursorsOut);
    }
}

void IconCache::NoteFailure(int code) {
    lastResult = code;
    if (IsDamage(code))
        damaged = 1;
    if (IsBusy(code) && db && !held) {
        held = 1;
        heldSince = GetTickCount();
        sqlite3_busy_timeout(db, 0);
    }
}

void IconCache::WaitAgainIfDue() {
    if (held && db && GetTickCount() - heldSince >= HeldRetryMs) {
        held = 0;
        sqlite3_busy_timeout(db, BusyWait);
    }
}

// The cache only holds what the shell can tell again. A file that is not a database, or a corrupt one,
// would fail at every start and leave every menu slow for good, so it is thrown away with its journals
// (the rollback journal, and the write-ahead log and its index of a file once opened in that mode). A
// file locked by another instance reports busy instead and is kept.
int IconCache::Recreate() {
    WString file(path);
    CloseConnection();
    DeleteFileForce(file);
    for (const wchar_t* suffix : {L"-journal", L"-wal", L"-shm"}) {
        WString companion(file);
        companion.Append(suffix);
        DeleteFileForce(companion);
    }
    return OpenConnection() && CreateSchema();
}

int IconCache::CreateSchema() {
    int created = Execute(SchemaSql[0]);
    Execute(SchemaSql[1]);
    Execute(SchemaSql[2]);
    WString stamp;
    stamp.Format(L"PRAGMA user_version = %d;", SchemaVersion);
    Execute(stamp);
    return created;
}

int IconCache::StoredVersion() {
    CacheCursor* cursor = Query(L"PRAGMA user_version;");
    WString text;
    int ok = cursor && cursor->GetText(0, text);
    ReleaseCursor(cursor);
    return ok ? _wtoi(text) : -1;
}

int IconCache::StatementsFit() {
    if (!lookup.Prepare(db, LookupSql) || !insert.Prepare(db, InsertSql)) {
        NoteFailure(lookup.IsPrepared() ? insert.Result() : lookup.Result());
        lookup.Finalize();
        insert.Finalize();
        return 0;
    }
    insert.Finalize();
    return 1;
}

void IconCache::SetAsideName(const wchar_t* file, int version, WString& name) {
    name.Format(L"%s.schema-%d", file, version);
}

// Moved, never deleted: the file may be the cache of another version of the program, which finds it
// there no more and makes its own again. An earlier copy set aside for the same version is replaced.
int IconCache::SetAside(int version) {
    WString file(path);
    CloseConnection();
    WString aside;
    SetAsideName(file, version, aside);
    if (!MoveFileExW(file, aside, MOVEFILE_REPLACE_EXISTING))
        return 0;
    for (const wchar_t* suffix : {L"-journal", L"-wal", L"-shm"}) {
        WString companion(file), companionAside(aside);
        companion.Append(suffix);
        companionAside.Append(suffix);
        MoveFileExW(companion, companionAside, MOVEFILE_REPLACE_EXISTING);
    }
    return OpenConnection() && CreateSchema();
}

int IconCache::EnsureSchema() {
    if (!db && !damaged)
        return 0;
    if (db && Execute(ProbeSql)) {
        int version = StoredVersion();
        if ((version == SchemaVersion || version == 0) && StatementsFit()) {
            // A file of the first releases holds the same rows: it is only stamped.
            if (version == 0) {
                WString stamp;
                stamp.Format(L"PRAGMA user_version = %d;", SchemaVersion);
                Execute(stamp);
            }
            return 1;
        }
        if (version < 0 || IsBusy(lastResult))
            return 0;
        return SetAside(version) && Execute(ProbeSql);
    }
    if (damaged)
        return Recreate() && Execute(ProbeSql);
    // Held by another instance: the statements would fail as harmlessly as the probe did.
    if (IsBusy(lastResult))
        return 0;
    // No table. An empty table answers without a row, which is no failure: the schema runs only when
    // the table is missing. A file stamped with another version but without our table is another
    // layout too.
    int version = StoredVersion();
    if (version > 0 && version != SchemaVersion)
        return SetAside(version) && Execute(ProbeSql);
    return CreateSchema();
}

int IconCache::Execute(const wchar_t* sql, CacheCursor** cursorOut, const CacheBlob* blobs, int blobCount) {
    if (cursorOut)
        *cursorOut = nullptr;
    if (!db || blobCount < 0 || blobCount > MaxBlobs || (blobCount && !blobs))
        return 0;
    WaitAgainIfDue();
    CacheCursor* cursor = spare ? spare.release() : new (std::nothrow) CacheCursor;
    if (!cursor)
        return 0;
    int ok = cursor->Prepare(db, sql);
    for (int i = 0; ok && i < blobCount; i++)
        ok = cursor->BindBlob(i + 1, blobs[i].bytes, blobs[i].size);
    if (ok)
        ok = cursor->Step();
    if (!ok)
        NoteFailure(cursor->Result());
    if (!ok || !cursorOut) {
        cursor->Finalize();
        spare.reset(cursor);
        return ok;
    }
    cursorsOut++;
    *cursorOut = cursor;
    return 1;
}

CacheCursor* IconCache::Query(const wchar_t* sql) {
    CacheCursor* cursor = nullptr;
    if (!Execute(sql, &cursor))
        return nullptr;
    if (!cursor->HasRow()) {
        ReleaseCursor(cursor);
        return nullptr;
    }
    return cursor;
}

void IconCache::ReleaseCursor(CacheCursor* cursor) {
    if (!cursor)
        return;
    cursor->Finalize();
    if (cursorsOut > 0)
        cursorsOut--;
    if (!spare)
        spare.reset(cursor);
    else
        delete cursor;
}

void IconCache::BeginRead() {
    if (!db || reading || writeState != WRITE_NONE)
        return;
    readBlocked = 0;
    reading = Execute(L"BEGIN;");
}

void IconCache::EndRead() {
    if (reading)
        Execute(L"COMMIT;");
    reading = 0;
    readBlocked = 0;
}

// One row per entry and icon size, so that menus on monitors of different dots per inch each find their own
// row instead of replacing the other's at every exit. The size goes into the high bits of the flags column
// (the node flags take the low ones; 12 bits hold any icon size): the unique index on (path, flags) then
// allows a row per size, and the table and its statements stay those of every cache file written before.
// At 16 pixels the row keeps the entry's flags alone, as every release before this one wrote it, so the rows
// of an existing cache are found after an upgrade. The packaged-app catalogue (flags NODE_APP alone) holds
// no icons and is read and written by its flags as they are.
unsigned IconCache::RowFlags(unsigned flags, int size) {
    const int SizeShift = 20;
    if (size == 16 || size <= 0 || size >= 1 << (32 - SizeShift))
        return flags;
    return flags | (unsigned)size << SizeShift;
}

int IconCache::LookupEntry(const wchar_t* entryPath, unsigned flags, unsigned hash, WString& name,
                           std::vector<unsigned char>& blob) {
    // A damaged file answers nothing useful; it is replaced before the rows are written at exit. A file
    // another instance keeps locked past the wait would make every lookup of the build wait again.
    if (!db || damaged || readBlocked)
        return 0;
    WaitAgainIfDue();
    // Preparing once: the table may have been missing when the cache was opened, so this is retried.
    if (!lookup.IsPrepared() && !lookup.Prepare(db, LookupSql)) {
        NoteFailure(lookup.Result());
        readBlocked = reading && IsBusy(lookup.Result());
        return 0;
    }
    int ok =
        lookup.BindText(1, entryPath) && lookup.BindInteger(2, flags) && lookup.BindInteger(3, hash) && lookup.Step();
    int found = ok && lookup.HasRow();
    if (found) {
        lookup.GetText(0, name);
        blob.clear();
        lookup.GetBlob(1, blob);
    } else if (!ok) {
        NoteFailure(lookup.Result());
        if (reading && IsBusy(lookup.Result()))
            readBlocked = 1;
    }
    lookup.Rewind();
    return found;
}

int IconCache::BeginWrite() {
    if (writeState == WRITE_OPEN)
        return 1;
    writeState = WRITE_REFUSED;
    if (damaged && !Recreate())
        return 0;
    // EXCLUSIVE takes the write lock now: a cache another instance holds costs one wait and one failed
    // statement here instead of one per row.
    if (!Execute(L"BEGIN EXCLUSIVE;"))
        return 0;
    writeState = WRITE_OPEN;
    return 1;
}

int IconCache::WriteEntry(const wchar_t* entryPath, unsigned flags, unsigned hash, const wchar_t* name,
                          const unsigned char* blob, size_t blobSize) {
    if (!db || writeState == WRITE_REFUSED)
        return 0;
    if (!insert.IsPrepared() && !insert.Prepare(db, InsertSql)) {
        NoteFailure(insert.Result());
        return 0;
    }
    // The blob binds without a copy; it is consumed by the step below.
    int ok = insert.BindText(1, entryPath) && insert.BindInteger(2, flags) && insert.BindInteger(3, hash) &&
             insert.BindText(4, name) && insert.BindBlob(5, blob, blobSize) && insert.Step();
    if (!ok)
        NoteFailure(insert.Result());
    insert.Rewind();
    // Some errors (a full disk, I/O) roll the whole transaction back; the later rows would then each
    // become a slow transaction of their own, so they are dropped too.
    if (!ok && writeState == WRITE_OPEN && sqlite3_get_autocommit(db))
        writeState = WRITE_REFUSED;
    return ok;
}

int IconCache::EndWrite() {
    WriteState state = writeState;
    writeState = WRITE_NONE;
    insert.Finalize();
    if (state != WRITE_OPEN)
        return state == WRITE_NONE;
    if (Execute(L"COMMIT;"))
        return 1;
    // A COMMIT that failed leaves the transaction open.
    Execute(L"ROLLBACK;");
    return 0;
}
