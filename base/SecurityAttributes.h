#pragma once
// Security attributes for kernel objects shared across sessions: without SDDL a null DACL (everyone
// has full access), with SDDL the converted descriptor. The descriptor is a heap block the caller
// frees with FreeSecurityAttributes.

#include <windows.h>

int BuildSecurityAttributes(const wchar_t* sddl, int inherit, SECURITY_ATTRIBUTES* attributes);
void FreeSecurityAttributes(SECURITY_ATTRIBUTES* attributes);
