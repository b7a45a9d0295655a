#pragma once
// SQLite's process-wide state, started with the first connection the program opens and shut down after
// the last: the icon cache and the memory of use each hold connections of their own, and a shutdown
// while another is open would pull the library from under it.

class SqliteLibrary {
public:
    // Initialises the library for one more connection; 0 when it cannot be.
    static int Acquire();
    // One connection fewer. mayShutDown 0: a connection closed with statements still out keeps the library
    // until the program ends.
    static void Release(int mayShutDown);
};
