#pragma once

// Small stand-ins for the WIC interfaces, for the paths the real component
// does not reach with files we can make. They live on the stack: reference
// counts are tracked so tests can see that every reference was given back,
// but nothing deletes itself.

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

template <class Interface>
class FakeUnknown : public Interface {
public:
    explicit FakeUnknown(std::vector<IID> iids) : knownIids(std::move(iids)) {}
    virtual ~FakeUnknown() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        bool known = IsEqualIID(riid, IID_IUnknown);
        for (const IID& iid : knownIids) {
            known = known || IsEqualIID(riid, iid);
        }
        if (!known) {
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    ULONG references = 1;  // the test's own

private:
    std::vector<IID> knownIids;
};

// A metadata value: the query's status, and on success its type and number.
struct FakeMetadataValue {
    HRESULT status = WINCODEC_ERR_PROPERTYNOTFOUND;
    VARTYPE type = VT_EMPTY;
    ULONG value = 0;
};

class FakeReader : public FakeUnknown<IWICMetadataQueryReader> {
public:
    FakeReader() : FakeUnknown({IID_IWICMetadataQueryReader}) {}

    HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLocation(UINT, WCHAR*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumString**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMetadataByName(LPCWSTR name, PROPVARIANT* value) override
    {
        asked.emplace_back(name);
        const auto found = values.find(name);
        if (found == values.end()) {
            return WINCODEC_ERR_PROPERTYNOTFOUND;
        }
        if (FAILED(found->second.status)) {
            return found->second.status;
        }
        // A variant that owns memory, so a missing PropVariantClear leaks
        // where a checker can see it, and a double clear would crash.
        if (found->second.type == VT_LPWSTR) {
            value->vt = VT_LPWSTR;
            value->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(4 * sizeof(WCHAR)));
            std::memcpy(value->pwszVal, L"abc", 4 * sizeof(WCHAR));
            return S_OK;
        }
        value->vt = found->second.type;
        value->ulVal = 0;
        if (found->second.type == VT_UI1) {
            value->bVal = static_cast<BYTE>(found->second.value);
        } else if (found->second.type == VT_UI2) {
            value->uiVal = static_cast<USHORT>(found->second.value);
        } else {
            value->ulVal = found->second.value;
        }
        return S_OK;
    }

    std::map<std::wstring, FakeMetadataValue> values;
    std::vector<std::wstring> asked;
};

class FakeFrame : public FakeUnknown<IWICBitmapFrameDecode> {
public:
    FakeFrame() : FakeUnknown({IID_IWICBitmapSource, IID_IWICBitmapFrameDecode}) {}

    HRESULT STDMETHODCALLTYPE GetSize(UINT* w, UINT* h) override
    {
        if (FAILED(sizeStatus)) {
            return sizeStatus;
        }
        *w = width;
        *h = height;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* out) override
    {
        if (FAILED(formatStatus)) {
            return formatStatus;
        }
        *out = format;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override
    {
        *x = *y = 96.0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override { return WINCODEC_ERR_PALETTEUNAVAILABLE; }
    HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT size, BYTE* buffer) override
    {
        ++copies;
        copiedStride = stride;
        copiedSize = size;
        if (FAILED(copyStatus)) {
            return copyStatus;
        }
        // Rows of `pixels` (tightly packed) laid out at the caller's stride.
        const UINT firstRow = rect != nullptr ? static_cast<UINT>(rect->Y) : 0;
        const UINT rows = rect != nullptr ? static_cast<UINT>(rect->Height) : height;
        const std::size_t rowBytes = height != 0 ? pixels.size() / height : 0;
        for (UINT row = 0; row < rows; ++row) {
            if (std::size_t{row} * stride + rowBytes > size) {
                return E_INVALIDARG;
            }
            std::memcpy(buffer + std::size_t{row} * stride, pixels.data() + (firstRow + row) * rowBytes, rowBytes);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** out) override
    {
        ++readerRequests;
        *out = nullptr;
        if (FAILED(readerStatus)) {
            return readerStatus;
        }
        if (reader == nullptr) {
            return WINCODEC_ERR_UNSUPPORTEDOPERATION;
        }
        reader->AddRef();
        *out = reader;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource**) override { return E_NOTIMPL; }

    UINT width = 4;
    UINT height = 2;
    GUID format = GUID_WICPixelFormat32bppBGRA;
    std::vector<std::uint8_t> pixels;  // height rows, tightly packed
    HRESULT sizeStatus = S_OK;
    HRESULT formatStatus = S_OK;
    HRESULT copyStatus = S_OK;
    HRESULT readerStatus = S_OK;
    FakeReader* reader = nullptr;  // null: the frame has no metadata
    int copies = 0;
    UINT copiedStride = 0;
    UINT copiedSize = 0;
    int readerRequests = 0;
};

class FakeDecoder : public FakeUnknown<IWICBitmapDecoder> {
public:
    FakeDecoder() : FakeUnknown({IID_IWICBitmapDecoder}) {}

    HRESULT STDMETHODCALLTYPE QueryCapability(IStream*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Initialize(IStream*, WICDecodeOptions) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* out) override
    {
        ++containerRequests;
        if (FAILED(containerStatus)) {
            return containerStatus;
        }
        *out = container;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPreview(IWICBitmapSource**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* count) override
    {
        if (FAILED(frameCountStatus)) {
            return frameCountStatus;
        }
        *count = static_cast<UINT>(frames.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** out) override
    {
        *out = nullptr;
        if (index >= frames.size()) {
            return WINCODEC_ERR_FRAMEMISSING;
        }
        frames[index]->AddRef();
        *out = frames[index];
        return S_OK;
    }

    GUID container = GUID_ContainerFormatPng;
    HRESULT containerStatus = S_OK;
    HRESULT frameCountStatus = S_OK;
    std::vector<FakeFrame*> frames;
    int containerRequests = 0;
};
