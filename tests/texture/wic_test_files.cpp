#include "tests/texture/wic_test_files.h"

#include "texture/image_decoder.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

HRESULT WriteImage(const std::wstring& path, const GUID& container, const std::vector<TestFrame>& frames)
{
    bool isFactory2 = false;
    IWICImagingFactory* factory = AcquireImagingFactory(isFactory2);
    if (factory == nullptr) {
        return E_NOINTERFACE;
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
    for (const TestFrame& source : frames) {
        ComPtr<IWICBitmapFrameEncode> frame;
        ComPtr<IPropertyBag2> options;
        if (SUCCEEDED(hr)) {
            hr = encoder->CreateNewFrame(&frame, &options);
        }
        if (SUCCEEDED(hr)) {
            hr = frame->Initialize(options.Get());
        }
        if (SUCCEEDED(hr)) {
            hr = frame->SetSize(source.width, source.height);
        }
        GUID format = source.format;
        if (SUCCEEDED(hr)) {
            hr = frame->SetPixelFormat(&format);
        }
        if (SUCCEEDED(hr) && !IsEqualGUID(format, source.format)) {
            hr = E_FAIL;
        }
        if (SUCCEEDED(hr) && !source.palette.empty()) {
            ComPtr<IWICPalette> palette;
            hr = factory->CreatePalette(&palette);
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
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Commit();
    }
    return hr;
}

TestFrame PatternBgra(UINT width, UINT height)
{
    TestFrame source{width, height, GUID_WICPixelFormat32bppBGRA, width * 4, {}, {}};
    source.pixels.resize(std::size_t{width} * height * 4);
    for (std::size_t i = 0; i < source.pixels.size(); ++i) {
        source.pixels[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return source;
}

TestFrame SolidBgra(UINT width, UINT height, std::uint32_t bgra)
{
    TestFrame source{width, height, GUID_WICPixelFormat32bppBGRA, width * 4, {}, {}};
    source.pixels.resize(std::size_t{width} * height * 4);
    for (std::size_t i = 0; i < source.pixels.size(); ++i) {
        source.pixels[i] = static_cast<std::uint8_t>(bgra >> (8 * (3 - i % 4)));
    }
    return source;
}

bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::vector<std::uint8_t> ReadBytes(const std::wstring& path)
{
    std::vector<std::uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty()) {
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    }
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

std::wstring TestFilePath(const wchar_t* name)
{
    CreateDirectoryW(L"texture-test-files", nullptr);
    return std::wstring(L"texture-test-files\\") + name;
}
