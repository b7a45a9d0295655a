#pragma once
// Whether this 32-bit process runs on 64-bit Windows (WOW64).

int IsWow64();
