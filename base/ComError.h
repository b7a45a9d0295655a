#pragma once
// The one exception the program raises: a failed COM string or VARIANT operation, carrying its HRESULT.

#include <windows.h>

class ComError {
public:
    explicit ComError(HRESULT result) : hr(result) {}
    HRESULT Error() const { return hr; }

private:
    HRESULT hr;
};
