#pragma once
// COM initialised for the calling thread for the life of this object (or until Uninit).

class ComApartment {
public:
    ComApartment() = default;
    ~ComApartment() { Uninit(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // Init's models: a single-threaded apartment, as windows and the shell's objects need, or the
    // multithreaded one (WMI).
    enum Model { SINGLE_THREADED = 0, MULTITHREADED = 1 };

    int Init(Model model);
    void Uninit();
    int IsInitialised() const { return initialised; }

private:
    int initialised = 0;
};
