#pragma once
// A WMI connection on a multithreaded COM apartment of its own, and the objects of its last query.

#include "base/ComApartment.h"
#include "base/SyncList.h"

class WmiResult;
struct IEnumWbemClassObject;
struct IWbemServices;

class WmiClient {
public:
    WmiClient() = default;
    ~WmiClient() { Close(); }
    WmiClient(const WmiClient&) = delete;
    WmiClient& operator=(const WmiClient&) = delete;

    // Namespace such as "ROOT\\CIMV2". Fails on a thread whose COM is single-threaded already.
    int Connect(const wchar_t* ns);
    // Runs a WQL query and collects all its objects; 1 when the query ran, with or without objects.
    int Query(const wchar_t* wql);
    WmiResult* FirstResult() const;
    WmiResult* NextResult(const WmiResult* result) const;
    void Close();

private:
    ComApartment com;
    SyncList results;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* enumerator = nullptr;
};
