#pragma once
// Runs a piece of a test on a thread of its own and waits for it: COM's apartment belongs to a thread,
// so the test runner's thread (and the cases after this one) keep whatever model they had.

#include <windows.h>

#include <functional>

inline bool OnThread(const std::function<void()>& body) {
    struct Thunk {
        static DWORD WINAPI Run(void* argument) {
            (*static_cast<const std::function<void()>*>(argument))();
            return 0;
        }
    };
    HANDLE thread = CreateThread(nullptr, 0, Thunk::Run, const_cast<std::function<void()>*>(&body), 0, nullptr);
    if (!thread)
        return false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return true;
}
