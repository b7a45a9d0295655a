#include "base/WmiResult.h"

#include "base/Variant.h"
#include "base/WString.h"

#include <wbemcli.h>

WmiResult::WmiResult(IWbemClassObject* adopted, IWbemServices* connection) : object(adopted), services(connection) {
    if (services)
        services->AddRef();
}

WmiResult::~WmiResult() {
    if (object)
        object->Release();
    if (services)
        services->Release();
}

namespace {

int Deliver(const wchar_t* value, WString* text) {
    if (!text)
        return 1;
    return text->Assign(value ? value : L"");
}

// Element index of a one-dimensional array of strings; 0 when the index lies outside its bounds.
int ArrayElement(SAFEARRAY* array, int index, WString* text) {
    // SafeArrayPtrOfIndex reads one index per dimension: one index for a deeper array would be read
    // past its end.
    if (!array || SafeArrayGetDim(array) != 1)
        return 0;
    LONG lower = 0;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)))
        return 0;
    LONG position = lower + index;
    void* element = nullptr;
    if (index < 0 || FAILED(SafeArrayPtrOfIndex(array, &position, &element)) || !element)
        return 0;
    return Deliver(*static_cast<BSTR*>(element), text);
}

} // namespace

int WmiResult::GetProperty(const wchar_t* name, WString* text, int* number, int index) {
    if (!object || !name)
        return 0;
    Variant value;
    int result = 0;
    if (SUCCEEDED(object->Get(name, 0, value.Out(), nullptr, nullptr))) {
        const VARIANT& v = value.Get();
        switch (v.vt) {
            case VT_BSTR:
                result = Deliver(v.bstrVal, text);
                break;
            case VT_I4:
                if (number)
                    *number = v.lVal;
                result = text ? text->Format(L"%d", (int)v.lVal) : 1;
                break;
            case VT_BOOL:
                if (number)
                    *number = v.boolVal != VARIANT_FALSE ? 1 : 0;
                result = Deliver(v.boolVal != VARIANT_FALSE ? L"TRUE" : L"FALSE", text);
                break;
            case VT_ARRAY | VT_BSTR:
                result = ArrayElement(v.parray, index, text);
                break;
            default:
                break;
        }
    }
    value.Clear();
    return result;
}
