#pragma once
// A loaded DLL whose entry points are looked up at run time, so that the program still starts on
// systems that lack newer functions: a missing library or entry point selects the caller's fallback.

#include <windows.h>

class Library {
public:
    Library() = default;
    explicit Library(const wchar_t* fileName) { Load(fileName); }
    ~Library() { Free(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    int Load(const wchar_t* fileName);
    // A system library by bare name, never one planted in the program's folder or the current
    // directory: with the loader's system-folder search flag (useSearchFlags 1), else by side-by-side
    // redirection or by full system path. Load uses the flag where the loader understands it.
    static HMODULE LoadFromSystem(const wchar_t* fileName, int useSearchFlags);
    FARPROC GetProc(const char* name) const;
    void Free();
    HMODULE Handle() const { return module; }
    // The library stays loaded for the rest of the process's life; the object forgets it.
    HMODULE Detach() {
        HMODULE kept = module;
        module = nullptr;
        return kept;
    }

    // GetProc cast to the function type the caller expects.
    template <typename T> T Get(const char* name) const {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProc(name)));
    }

private:
    HMODULE module = nullptr;
};
