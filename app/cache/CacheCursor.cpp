#include "app/cache/CacheCursor.h"

#include <sqlite3.h>

#include <wchar.h>

int CacheCursor::Prepare(sqlite3* db, const wchar_t* sql) {
    Finalize();
    if (!db || !sql) {
        result = SQLITE_MISUSE;
        return 0;
    }
    // -1: SQLite reads up to the terminator. Text that holds no statement at all yields a null
    // statement with SQLITE_OK, which is no use to anybody.
    result = sqlite3_prepare16_v2(db, sql, -1, &statement, nullptr);
    if (result != SQLITE_OK || !statement) {
        sqlite3_finalize(statement);
        statement = nullptr;
        if (result == SQLITE_OK)
            result = SQLITE_MISUSE;
        return 0;
    }
    return 1;
}

void CacheCursor::Finalize() {
    if (statement)
        sqlite3_finalize(statement);
    statement = nullptr;
    hasRow = 0;
}

int CacheCursor::BindText(int index, const wchar_t* text) {
    if (!statement)
        return 0;
    if (!text)
        result = sqlite3_bind_null(statement, index);
    else
        result = sqlite3_bind_text16(statement, index, text, (int)(wcslen(text) * sizeof(wchar_t)), SQLITE_TRANSIENT);
    return result == SQLITE_OK;
}

int CacheCursor::BindInteger(int index, long long value) {
    if (!statement)
        return 0;
    result = sqlite3_bind_int64(statement, index, (sqlite3_int64)value);
    return result == SQLITE_OK;
}

int CacheCursor::BindBlob(int index, const unsigned char* bytes, size_t size) {
    if (!statement)
        return 0;
    // An empty buffer stands for "no icon": NULL lets the NOT NULL column refuse the row.
    if (!bytes || !size)
        result = sqlite3_bind_null(statement, index);
    else if (size > 0x7FFFFFFF)
        result = SQLITE_TOOBIG;
    else
        result = sqlite3_bind_blob(statement, index, bytes, (int)size, SQLITE_STATIC);
    return result == SQLITE_OK;
}

int CacheCursor::Step() {
    hasRow = 0;
    if (!statement) {
        result = SQLITE_MISUSE;
        return 0;
    }
    result = sqlite3_step(statement);
    hasRow = result == SQLITE_ROW;
    return result == SQLITE_ROW || result == SQLITE_DONE;
}

void CacheCursor::Rewind() {
    hasRow = 0;
    if (!statement)
        return;
    // reset repeats the last step's error; Result keeps what Step reported.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

long long CacheCursor::GetInteger(int column) const {
    return hasRow ? sqlite3_column_int64(statement, column) : 0;
}

int CacheCursor::GetText(int column, WString& text) const {
    const void* value = hasRow ? sqlite3_column_text16(statement, column) : nullptr;
    if (!value) {
        text.Assign(L"", 0);
        return 0;
    }
    // The byte count must be read after the UTF-16 conversion the text call may have done.
    int bytes = sqlite3_column_bytes16(statement, column);
    return text.Assign((const wchar_t*)value, (unsigned)bytes / sizeof(wchar_t));
}

int CacheCursor::GetBlob(int column, std::vector<unsigned char>& buffer) const {
    if (!hasRow || sqlite3_column_type(statement, column) == SQLITE_NULL)
        return 0;
    // A zero-length blob comes back as a null pointer, yet it is a value, not NULL.
    const unsigned char* bytes = (const unsigned char*)sqlite3_column_blob(statement, column);
    int size = sqlite3_column_bytes(statement, column);
    if (bytes && size > 0)
        buffer.insert(buffer.end(), bytes, bytes + size);
    return 1;
}
