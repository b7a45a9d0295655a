#include "base/SecurityAttributes.h"

#include "base/Library.h"

#include <sddl.h>

#include <stdlib.h>
#include <string.h>

namespace {

typedef BOOL(WINAPI* InitializeSecurityDescriptorFn)(PSECURITY_DESCRIPTOR, DWORD);
typedef BOOL(WINAPI* SetSecurityDescriptorDaclFn)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
typedef BOOL(WINAPI* ConvertSddlFn)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

// The advapi32 entry points, looked up once for the life of the process.
struct SecurityApi {
    Library advapi{L"advapi32.dll"};
    InitializeSecurityDescriptorFn initialize =
        advapi.Get<InitializeSecurityDescriptorFn>("InitializeSecurityDescriptor");
    SetSecurityDescriptorDaclFn setDacl = advapi.Get<SetSecurityDescriptorDaclFn>("SetSecurityDescriptorDacl");
    ConvertSddlFn convert = advapi.Get<ConvertSddlFn>("ConvertStringSecurityDescriptorToSecurityDescriptorW");
};

SecurityApi& Api() {
    static SecurityApi api;
    return api;
}

} // namespace

int BuildSecurityAttributes(const wchar_t* sddl, HandleInheritance inherit, SECURITY_ATTRIBUTES* attributes) {
    if (!attributes)
        return 0;
    attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    attributes->bInheritHandle = inherit == INHERITED ? TRUE : FALSE;
    attributes->lpSecurityDescriptor = nullptr;
    SecurityApi& api = Api();
    if (!sddl) {
        if (!api.initialize || !api.setDacl)
            return 0;
        void* descriptor = malloc(SECURITY_DESCRIPTOR_MIN_LENGTH);
        if (!descriptor)
            return 0;
        if (!api.initialize(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !api.setDacl(descriptor, TRUE, nullptr, FALSE)) {
            free(descriptor);
            return 0;
        }
        attributes->lpSecurityDescriptor = descriptor;
        return 1;
    }
    if (!api.convert)
        return 0;
    PSECURITY_DESCRIPTOR converted = nullptr;
    ULONG size = 0;
    if (!api.convert(sddl, SDDL_REVISION_1, &converted, &size) || !converted)
        return 0;
    void* copy = malloc(size);
    if (copy)
        memcpy(copy, converted, size);
    LocalFree(converted);
    attributes->lpSecurityDescriptor = copy;
    return copy != nullptr;
}

void FreeSecurityAttributes(SECURITY_ATTRIBUTES* attributes) {
    if (!attributes)
        return;
    free(attributes->lpSecurityDescriptor);
    attributes->lpSecurityDescriptor = nullptr;
}
