#include "base/WmiClient.h"

#include "base/Bstr.h"
#include "base/ComObject.h"
#include "base/ComPtr.h"
#include "base/Library.h"
#include "base/WmiResult.h"

#include <wbemcli.h>

namespace {

typedef HRESULT(WINAPI* CoInitializeSecurityFn)(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD,
                                                DWORD, void*, DWORD, void*);
typedef HRESULT(WINAPI* CoSetProxyBlanketFn)(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, RPC_AUTH_IDENTITY_HANDLE,
                                             DWORD);

// Milliseconds to wait for each object of a query.
const LONG ObjectTimeout = 5000;
// No query of ours has this many objects; a provider that never ends its list is cut off.
const unsigned MaxObjects = 4096;

} // namespace

int WmiClient::Connect(const wchar_t* ns) {
    // A second connection replaces the first instead of failing on the apartment it already holds.
    Close();
    if (!com.Init(ComApartment::MULTITHREADED))
        return 0;
    Library ole(L"ole32.dll");
    CoInitializeSecurityFn initializeSecurity = ole.Get<CoInitializeSecurityFn>("CoInitializeSecurity");
    if (initializeSecurity) {
        HRESULT hr = initializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        // Security can be set once per process; an earlier connection (or the host) has done so.
        if (FAILED(hr) && hr != RPC_E_TOO_LATE) {
            com.Uninit();
            return 0;
        }
    }
    ComPtr<IWbemLocator> locator(static_cast<IWbemLocator*>(
        CreateComObject(__uuidof(WbemLocator), __uuidof(IWbemLocator), nullptr, COM_OBJECT_RUN)));
    if (locator) {
        Bstr path(ns);
        // With the flag the call returns within two minutes even when the service does not answer.
        if (FAILED(locator->ConnectServer(path, nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                          nullptr, &services)))
            services = nullptr;
    }
    if (!services) {
        com.Uninit();
        return 0;
    }
    // Without the blanket an out-of-process WMI service refuses the calls; an in-process provider has
    // no proxy to set it on, so a failure here is no reason to give up the connection.
    CoSetProxyBlanketFn setProxyBlanket = ole.Get<CoSetProxyBlanketFn>("CoSetProxyBlanket");
    if (setProxyBlanket)
        setProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return 1;
}

int WmiClient::Query(const wchar_t* wql) {
    results.Clear();
    if (enumerator) {
        enumerator->Release();
        enumerator = nullptr;
    }
    if (!services || !wql)
        return 0;
    Bstr language(L"WQL");
    Bstr text(wql);
    if (FAILED(services->ExecQuery(language, text, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr,
                                   &enumerator))) {
        enumerator = nullptr;
        return 0;
    }
    for (unsigned count = 0; count < MaxObjects; count++) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        // Each object within a bound: a provider that hangs ends the query with what it has delivered
        // (WBEM_S_TIMEDOUT comes without an object).
        HRESULT hr = enumerator->Next(ObjectTimeout, 1, &object, &returned);
        if (FAILED(hr) || returned == 0 || !object)
            break;
        results.PushBack(new WmiResult(object, services));
    }
    return 1;
}

WmiResult* WmiClient::FirstResult() const {
    return static_cast<WmiResult*>(results.First());
}

WmiResult* WmiClient::NextResult(const WmiResult* result) const {
    return static_cast<WmiResult*>(results.Next(result));
}

void WmiClient::Close() {
    // The results hold references to the services: all of them go before the apartment does.
    results.Clear();
    if (enumerator) {
        enumerator->Release();
        enumerator = nullptr;
    }
    if (services) {
        services->Release();
        services = nullptr;
    }
    com.Uninit();
}
