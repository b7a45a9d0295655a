#pragma once
// One object returned by a WMI query, with a reference to the connection it came from.

#include "base/SyncList.h"

#include <windows.h>

class WString;
struct IWbemClassObject;
struct IWbemServices;

class WmiResult : public SyncListItem {
public:
    // Takes over the object's reference; holds a reference of its own to the services.
    WmiResult(IWbemClassObject* object, IWbemServices* services);
    ~WmiResult() override;
    WmiResult(const WmiResult&) = delete;
    WmiResult& operator=(const WmiResult&) = delete;

    // A string, 32-bit number, boolean or one element of a string array, as text and (for numbers and
    // booleans) as a number; either output may be null. 1 when the property had one of those types.
    int GetProperty(const wchar_t* name, WString* text, int* number, int index);
    IWbemClassObject* Object() const { return object; }

private:
    IWbemClassObject* object;
    IWbemServices* services;
};
