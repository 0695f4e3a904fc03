#include "texture/image_encoder.h"

#include "texture/image_decoder.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

HRESULT EncodeFrame(IWICImagingFactory& factory, IWICBitmapEncoder& encoder, const EncodedFrame& source)
{
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    HRESULT hr = encoder.CreateNewFrame(&frame, &options);
    if (SUCCEEDED(hr)) {
        hr = frame->Initialize(options.Get());
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetSize(source.width, source.height);
    }
    // The encoder answers with the format it will store, which may be another.
    GUID format = source.format;
    if (SUCCEEDED(hr)) {
        hr = frame->SetPixelFormat(&format);
    }
    if (SUCCEEDED(hr) && !IsEqualGUID(format, source.format)) {
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    // The palette and the pixels are only read, though the calls take them as writable.
    if (SUCCEEDED(hr) && !source.palette.empty()) {
        ComPtr<IWICPalette> palette;
        hr = factory.CreatePalette(&palette);
        if (SUCCEEDED(hr)) {
            hr = palette->InitializeCustom(const_cast<WICColor*>(source.palette.data()),
                                           static_cast<UINT>(source.palette.size()));
        }
        if (SUCCEEDED(hr)) {
            hr = frame->SetPalette(palette.Get());
        }
    }
    if (SUCCEEDED(hr)) {
        hr = frame->WritePixels(source.height, source.stride, static_cast<UINT>(source.pixels.size()),
                                const_cast<BYTE*>(source.pixels.data()));
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Commit();
    }
    return hr;
}

}  // namespace

HRESULT EncodeImageFile(const std::wstring& path, const GUID& container, std::span<const EncodedFrame> frames)
{
    bool isFactory2 = false;
    IWICImagingFactory* factory = AcquireImagingFactory(isFactory2);
    if (factory == nullptr) {
        return E_FAIL;
    }
    ComPtr<IWICStream> stream;
    HRESULT hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) {
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    }
    ComPtr<IWICBitmapEncoder> encoder;
    if (SUCCEEDED(hr)) {
        hr = factory->CreateEncoder(container, nullptr, &encoder);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    }
    for (const EncodedFrame& frame : frames) {
        if (SUCCEEDED(hr)) {
            hr = EncodeFrame(*factory, *encoder.Get(), frame);
        }
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Commit();
    }
    return hr;
}
