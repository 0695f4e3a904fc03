// The IUnknown part of a small COM object of the library's own that offers
// one interface: a reference count starting at 1, and deletion at 0.
#pragma once

#include <unknwn.h>
#include <wrl/client.h>

#include <atomic>
#include <utility>

template <typename Interface>
class ComObject : public Interface {
public:
    virtual ~ComObject() = default;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (id == __uuidof(IUnknown) || id == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    // References held now: 1 when the holder who made it is the only one left.
    ULONG References() const { return references; }

private:
    std::atomic<ULONG> references{1};
};

// A new object of ours whose one reference is the returned pointer's.
// (ComPtr::Attach would do, but MinGW-w64's adds a reference where
// Microsoft's does not.)
template <typename Object, typename... Arguments>
Microsoft::WRL::ComPtr<Object> MakeComObject(Arguments&&... arguments)
{
    Object* const object = new Object(std::forward<Arguments>(arguments)...);
    Microsoft::WRL::ComPtr<Object> owner = object;
    object->Release();
    return owner;
}
