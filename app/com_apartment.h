#pragma once

#include <objbase.h>

// Prepares this thread for COM (the imaging component needs it) for as long
// as the object lives.
class ComApartment {
public:
    ComApartment() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment()
    {
        if (initialised) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised;
};
