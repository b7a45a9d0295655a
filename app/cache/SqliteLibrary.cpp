#include "app/cache/SqliteLibrary.h"

#include <sqlite3.h>

namespace {

// Connections are opened and closed on the thread of the menus only (the library is built without its
// own locking).
int connections = 0;

} // namespace

int SqliteLibrary::Acquire() {
    if (sqlite3_initialize() != SQLITE_OK)
        return 0;
    connections++;
    return 1;
}

void SqliteLibrary::Release(int mayShutDown) {
    if (connections > 0 && --connections == 0 && mayShutDown)
        sqlite3_shutdown();
}
