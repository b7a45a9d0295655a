#pragma once
// COM initialised for the calling thread for the life of this object (or until Uninit).

class ComApartment {
public:
    ComApartment() = default;
    ~ComApartment() { Uninit(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // multithreaded 0: a single-threaded apartment, as windows and the shell's objects need.
    int Init(int multithreaded);
    void Uninit();
    int IsInitialised() const { return initialised; }

private:
    int initialised = 0;
};
