#pragma once
// Security attributes for kernel objects shared across sessions: without SDDL a null DACL (everyone
// has full access), with SDDL the converted descriptor. The descriptor is a heap block the caller
// frees with FreeSecurityAttributes.

#include <windows.h>

// Whether a child process started with handle inheritance gets handles made with these attributes.
enum HandleInheritance : int { NOT_INHERITED = 0, INHERITED = 1 };

int BuildSecurityAttributes(const wchar_t* sddl, HandleInheritance inherit, SECURITY_ATTRIBUTES* attributes);
void FreeSecurityAttributes(SECURITY_ATTRIBUTES* attributes);
