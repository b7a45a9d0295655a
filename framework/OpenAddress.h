#pragma once
// Opens a web address (or a document) through the shell, as a click on a link in Explorer would: the
// user's browser opens it. The shell shows its own message when nothing can open it.

#include <windows.h>

// 1 when the shell took the address.
int OpenAddress(const wchar_t* address);
