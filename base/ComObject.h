#pragma once
// Creates a COM object by ProgID or class id; the caller owns and releases the returned interface.

#include <windows.h>
#include <objbase.h>

// COM_OBJECT_RUN: the object is created as IUnknown, started with OleRun, then asked for the interface.
enum ComObjectStart { COM_OBJECT_CREATE = 0, COM_OBJECT_RUN = 1 };

void* CreateComObject(const wchar_t* progId, REFIID interfaceId, HRESULT* result, ComObjectStart start);
void* CreateComObject(REFCLSID classId, REFIID interfaceId, HRESULT* result, ComObjectStart start);
