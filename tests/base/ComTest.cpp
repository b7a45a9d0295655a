#include "base/ComError.h"
#include "base/Variant.h"
#include "base/WmiClient.h"
#include "base/WmiResult.h"
#include "base/WString.h"

#include <gtest/gtest.h>

#include "OnThread.h"

#include <objbase.h>
#include <wbemcli.h>

#include <functional>
#include <string>

namespace {

bool LooksLikeMac(const wchar_t* text) {
    if (wcslen(text) != 17)
        return false;
    for (int i = 0; i < 17; i++) {
        bool separator = i % 3 == 2;
        if (separator ? text[i] != L':' : !iswxdigit(text[i]))
            return false;
    }
    return true;
}

} // namespace

TEST(WmiClient, RefusedOnASingleThreadedApartment) {
    ASSERT_TRUE(OnThread([] {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        {
            WmiClient wmi;
            EXPECT_EQ(0, wmi.Connect(L"ROOT\\CIMV2"));
            EXPECT_EQ(0, wmi.Query(L"SELECT * FROM Win32_OperatingSystem"));
            EXPECT_EQ(nullptr, wmi.FirstResult());
        }
        // The refused client left the thread's apartment as it found it: still single-threaded.
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        CoUninitialize();
        CoUninitialize();
    }));
}

TEST(WmiClient, ReadsTheNetworkAdapterAddressAndArrayBounds) {
    ASSERT_TRUE(OnThread([] {
        WmiClient wmi;
        ASSERT_EQ(1, wmi.Connect(L"ROOT\\CIMV2"));
        // Connecting again replaces the connection rather than failing on the apartment it holds.
        ASSERT_EQ(1, wmi.Connect(L"ROOT\\CIMV2"));
        ASSERT_EQ(1, wmi.Query(L"SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled = true"));
        WmiResult* adapter = wmi.FirstResult();
        ASSERT_NE(nullptr, adapter) << "no IP-enabled adapter";
        WString mac;
        ASSERT_EQ(1, adapter->GetProperty(L"MACAddress", &mac, nullptr, 0));
        EXPECT_TRUE(LooksLikeMac(mac)) << std::wstring(mac.Buffer());

        int enabled = -5;
        WString text;
        ASSERT_EQ(1, adapter->GetProperty(L"IPEnabled", &text, &enabled, 0));
        EXPECT_EQ(1, enabled);
        EXPECT_STREQ(L"TRUE", text);
        int index = -1;
        ASSERT_EQ(1, adapter->GetProperty(L"Index", &text, &index, 0));
        EXPECT_EQ(std::to_wstring(index), std::wstring(text.Buffer()));

        // Every string array of the adapter (Wine fills DNSServerSearchOrder; IPAddress is null on
        // a host whose adapter has no address): its last element is there, one beyond it is not.
        int arrays = 0;
        BSTR name = nullptr;
        VARIANT value;
        VariantInit(&value);
        ASSERT_EQ(S_OK, adapter->Object()->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY));
        while (adapter->Object()->Next(0, &name, &value, nullptr, nullptr) == WBEM_S_NO_ERROR) {
            LONG last = -1;
            if (value.vt == (VT_ARRAY | VT_BSTR) && SUCCEEDED(SafeArrayGetUBound(value.parray, 1, &last)) &&
                last >= 0) {
                arrays++;
                BSTR element = static_cast<BSTR*>(value.parray->pvData)[last];
                WString text;
                EXPECT_EQ(1, adapter->GetProperty(name, &text, nullptr, (int)last)) << name;
                EXPECT_STREQ(element ? element : L"", text) << name;
                EXPECT_EQ(0, adapter->GetProperty(name, &text, nullptr, (int)last + 1)) << name;
                EXPECT_EQ(0, adapter->GetProperty(name, &text, nullptr, -1)) << name;
            }
            SysFreeString(name);
            VariantClear(&value);
        }
        adapter->Object()->EndEnumeration();
        EXPECT_GT(arrays, 0) << "the adapter has no string array to read";
        EXPECT_EQ(0, adapter->GetProperty(L"NoSuchProperty", nullptr, nullptr, 0));

        // A query without matches still ran; a malformed one did not.
        EXPECT_EQ(1, wmi.Query(L"SELECT * FROM Win32_NetworkAdapterConfiguration WHERE Index = 4000000"));
        EXPECT_EQ(nullptr, wmi.FirstResult());
        EXPECT_EQ(0, wmi.Query(L"SELECT FROM WHERE"));
        wmi.Close();
        EXPECT_EQ(0, wmi.Query(L"SELECT * FROM Win32_NetworkAdapterConfiguration"));
    }));
}

TEST(Variant, RaisesOnAFailedClearOrConversionOnly) {
    Variant number;
    number.SetString(L"12");
    number.ChangeType(VT_I4);
    EXPECT_EQ(VT_I4, number.Type());
    EXPECT_EQ(12, number.Get().lVal);

    Variant word;
    word.SetString(L"twelve");
    HRESULT raised = S_OK;
    try {
        word.ChangeType(VT_I4);
    } catch (const ComError& error) {
        raised = error.Error();
    }
    EXPECT_EQ(DISP_E_TYPEMISMATCH, raised);
    EXPECT_EQ(VT_BSTR, word.Type());

    // A locked array cannot be cleared; once unlocked, the holder frees it.
    Variant bytes;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(nullptr, array);
    bytes.SetArray(array, VT_UI1);
    ASSERT_EQ(S_OK, SafeArrayLock(array));
    raised = S_OK;
    try {
        bytes.Clear();
    } catch (const ComError& error) {
        raised = error.Error();
    }
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, raised);
    SafeArrayUnlock(array);
    bytes.Clear();
    EXPECT_EQ(VT_EMPTY, bytes.Type());
}
