#pragma once
// One prepared statement of the icon cache database and the result row it stands on; finalizes the
// statement when destroyed. Columns and parameters are numbered as SQLite numbers them.

#include "base/WString.h"

#include <stddef.h>

#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CacheCursor {
public:
    CacheCursor() = default;
    ~CacheCursor() { Finalize(); }
    CacheCursor(const CacheCursor&) = delete;
    CacheCursor& operator=(const CacheCursor&) = delete;

    // Compiles UTF-16 text on the connection, replacing any statement held before.
    int Prepare(sqlite3* db, const wchar_t* sql);
    void Finalize();
    int IsPrepared() const { return statement != nullptr; }

    // Parameters, 1-based. A null text and an empty blob bind as NULL. Blob bytes are not copied: they
    // must stay unchanged until the statement has been stepped.
    int BindText(int index, const wchar_t* text);
    int BindInteger(int index, long long value);
    int BindBlob(int index, const unsigned char* bytes, size_t size);

    // 1 when the step produced a row or finished, 0 on an error; HasRow tells which.
    int Step();
    // Back to the start with every parameter cleared, ready for the next bindings.
    void Rewind();
    int HasRow() const { return hasRow; }
    // The SQLite result code of the last Prepare, Bind or Step.
    int Result() const { return result; }

    // The current row. GetText yields an empty text and 0 for NULL; GetBlob appends the bytes (0 for NULL).
    int GetText(int column, WString& text) const;
    int GetBlob(int column, std::vector<unsigned char>& buffer) const;
    // 0 for NULL.
    long long GetInteger(int column) const;

private:
    sqlite3_stmt* statement = nullptr;
    int hasRow = 0;
    int result = 0;
};
