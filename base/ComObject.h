#pragma once
// Creates a COM object by ProgID or class id; the caller owns and releases the returned interface.

#include <windows.h>
#include <objbase.h>

// run 1: the object is created as IUnknown, started with OleRun, then asked for the interface.
void* CreateComObject(const wchar_t* progId, REFIID interfaceId, HRESULT* result, int run);
void* CreateComObject(REFCLSID classId, REFIID interfaceId, HRESULT* result, int run);
