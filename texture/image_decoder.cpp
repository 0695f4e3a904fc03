#include "texture/image_decoder.h"

#include "texture/checked_math.h"
#include "texture/wic_formats.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// The imaging factory, shared by every decode of the process. Deliberately
// never released: it must outlive every caller, and releasing it at exit
// could run after COM has gone.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables): the one factory and its one-time set-up.
IWICImagingFactory* imagingFactory = nullptr;
bool isImagingFactory2 = false;
INIT_ONCE imagingFactoryOnce = INIT_ONCE_STATIC_INIT;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)

BOOL CALLBACK CreateImagingFactory(PINIT_ONCE, PVOID, PVOID*)
{
    IWICImagingFactory2* factory2 = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory2,
                                   reinterpret_cast<void**>(&factory2)))) {
        isImagingFactory2 = true;
        imagingFactory = factory2;
        return TRUE;
    }
    isImagingFactory2 = false;
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(&imagingFactory)))
               ? TRUE
               : FALSE;
}

const HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
const HRESULT kOverflow = HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);

WICBitmapDitherType DitherFrom(std::uint32_t decodeFlags)
{
    switch (decodeFlags & 0xF0000) {
    case DitherOrdered:
        return WICBitmapDitherTypeOrdered4x4;
    case DitherDiffusion:
        return WICBitmapDitherTypeErrorDiffusion;
    default:
        return WICBitmapDitherTypeNone;
    }
}

WICBitmapInterpolationMode InterpolationFrom(std::uint32_t decodeFlags)
{
    switch (decodeFlags & 0xF00000) {
    case ScaleNearest:
        return WICBitmapInterpolationModeNearestNeighbor;
    case ScaleLinear:
        return WICBitmapInterpolationModeLinear;
    case ScaleCubic:
        return WICBitmapInterpolationModeCubic;
    default:
        return WICBitmapInterpolationModeFant;
    }
}

// WIC copies with a 32-bit stride and buffer size. Checked before the pixel
// block is allocated, so a header claiming an absurd size never leads to an
// allocation of that size.
HRESULT CheckCopyLimits(DXGI_FORMAT format, std::uint64_t width, std::uint64_t height)
{
    std::uint64_t rowBytes = 0;
    std::uint64_t sliceBytes = 0;
    const HRESULT status = MeasureSurface(format, width, height, 0, rowBytes, sliceBytes);
    if (status == kOverflow || (SUCCEEDED(status) && (rowBytes > kMax32 || sliceBytes > kMax32))) {
        return kOverflow;
    }
    return S_OK;  // other failures are Allocate2D's to report
}

// Colour-space verdict of the metadata: sRGB, linear, or no usable value.
enum class ColorSpace { Srgb, Linear, Unknown };

ColorSpace ReadColorSpace(IWICMetadataQueryReader* reader, const GUID& container)
{
    PROPVARIANT value;
    PropVariantInit(&value);
    ColorSpace verdict = ColorSpace::Unknown;
    if (IsEqualGUID(container, GUID_ContainerFormatPng)) {
        // An sRGB chunk settles it whatever its rendering intent.
        if (SUCCEEDED(reader->GetMetadataByName(L"/sRGB/RenderingIntent", &value)) && value.vt == VT_UI1) {
            verdict = ColorSpace::Srgb;
        } else {
            PropVariantClear(&value);
            if (SUCCEEDED(reader->GetMetadataByName(L"/gAMA/ImageGamma", &value)) && value.vt == VT_UI4) {
                verdict = value.ulVal == 45455 ? ColorSpace::Srgb : ColorSpace::Linear;
            }
        }
    } else if (SUCCEEDED(reader->GetMetadataByName(L"System.Image.ColorSpace", &value)) && value.vt == VT_UI2) {
        verdict = value.uiVal == 1 ? ColorSpace::Srgb : ColorSpace::Linear;
    }
    PropVariantClear(&value);
    return verdict;
}

}  // namespace

IWICImagingFactory* AcquireImagingFactory(bool& isFactory2)
{
    // Asked every time rather than testing the pointer first: once done the
    // call returns at once, and it orders this thread's reads after the
    // creating thread's writes.
    if (!InitOnceExecuteOnce(&imagingFactoryOnce, CreateImagingFactory, nullptr, nullptr)) {
        return nullptr;
    }
    isFactory2 = isImagingFactory2;
    return imagingFactory;
}

HRESULT DescribeFrame(std::uint32_t decodeFlags, bool isFactory2, IWICBitmapDecoder* decoder,
                      IWICBitmapFrameDecode* frame, ImageDesc& desc, GUID* conversionTarget,
                      const MetadataCallback& callback)
{
    if (decoder == nullptr || frame == nullptr) {
        return E_POINTER;
    }
    desc = ImageDesc{0, 0, 1, 0, 1, 0, 0, DXGI_FORMAT_UNKNOWN, kImageDimension2D};

    UINT width = 0;
    UINT height = 0;
    HRESULT status = frame->GetSize(&width, &height);
    if (FAILED(status)) {
        return status;
    }
    desc.width = width;
    desc.height = height;

    desc.layerCount = 1;
    if (decodeFlags & AllFrames) {
        UINT frameCount = 0;
        status = decoder->GetFrameCount(&frameCount);
        if (FAILED(status)) {
            return status;
        }
        desc.layerCount = frameCount;
    }

    GUID frameFormat{};
    status = frame->GetPixelFormat(&frameFormat);
    if (FAILED(status)) {
        return status;
    }
    if (conversionTarget != nullptr) {
        *conversionTarget = GUID_NULL;
    }
    GUID target = GUID_NULL;

    DXGI_FORMAT format = FormatFromWicGuid(frameFormat, isFactory2);
    std::uint32_t alphaMode = 0;
    bool adjust = true;
    if (format == DXGI_FORMAT_UNKNOWN) {
        if (IsEqualGUID(frameFormat, GUID_WICPixelFormat96bppRGBFixedPoint)) {
            if (isFactory2) {
                target = GUID_WICPixelFormat96bppRGBFloat;
                format = DXGI_FORMAT_R32G32B32_FLOAT;
                adjust = false;
            } else {
                target = GUID_WICPixelFormat128bppRGBAFloat;
                format = DXGI_FORMAT_R32G32B32A32_FLOAT;
                alphaMode = kAlphaModeOpaque;
            }
        } else {
            for (const WicConversionRow& row : kWicConversionTable) {
                if (IsEqualGUID(row.source, frameFormat)) {
                    target = row.target;
                    format = FormatFromWicGuid(row.target, isFactory2);
                    alphaMode = row.alphaMode;
                    break;
                }
            }
        }
    }

    if (adjust) {
        // NOLINTBEGIN(bugprone-branch-clone): two rules of the table that reach the same format.
        if (format == DXGI_FORMAT_R1_UNORM && !(decodeFlags & KeepOneBit)) {
            format = DXGI_FORMAT_R8_UNORM;
            target = GUID_WICPixelFormat8bppGray;
        } else if ((format == DXGI_FORMAT_B5G6R5_UNORM || format == DXGI_FORMAT_B5G5R5A1_UNORM) &&
                   (decodeFlags & Widen16Bit)) {
            format = DXGI_FORMAT_R8G8B8A8_UNORM;
            target = GUID_WICPixelFormat32bppRGBA;
        } else if ((format == DXGI_FORMAT_B8G8R8A8_UNORM || format == DXGI_FORMAT_B8G8R8X8_UNORM) &&
                   (decodeFlags & BgraAsRgba)) {
            format = DXGI_FORMAT_R8G8B8A8_UNORM;
            target = GUID_WICPixelFormat32bppRGBA;
        } else if (format == DXGI_FORMAT_R10G10B10_XR_BIAS_A2_UNORM && (decodeFlags & XrBiasAsUnorm)) {
            format = DXGI_FORMAT_R10G10B10A2_UNORM;
            target = GUID_WICPixelFormat32bppRGBA1010102;
        }
        // NOLINTEND(bugprone-branch-clone)
        if (format == DXGI_FORMAT_UNKNOWN) {
            return kNotSupported;
        }
    }
    desc.pixelFormat = format;
    if (conversionTarget != nullptr) {
        *conversionTarget = target;
    }
    desc.extraFlags = (desc.extraFlags & ~kAlphaModeMask) | (alphaMode & kAlphaModeMask);

    HRESULT readerFailure = S_OK;
    if (!(decodeFlags & SkipColorMetadata)) {
        GUID container{};
        status = decoder->GetContainerFormat(&container);
        if (FAILED(status)) {
            return status;
        }

        ComPtr<IWICMetadataQueryReader> reader;
        status = frame->GetMetadataQueryReader(&reader);
        if (SUCCEEDED(status)) {
            ColorSpace colorSpace = ReadColorSpace(reader.Get(), container);
            if (colorSpace == ColorSpace::Unknown) {
                colorSpace = (decodeFlags & AssumeSrgb) ? ColorSpace::Srgb : ColorSpace::Linear;
            }
            if (colorSpace == ColorSpace::Srgb) {
                desc.pixelFormat = WithSrgb(desc.pixelFormat);
            }
        } else if (status != WINCODEC_ERR_UNSUPPORTEDOPERATION) {
            readerFailure = status;
        }
        // A frame without metadata (UNSUPPORTEDOPERATION) keeps its linear format.
    }

    if (callback) {
        ComPtr<IWICMetadataQueryReader> reader;
        if (SUCCEEDED(frame->GetMetadataQueryReader(&reader))) {
            callback(reader.Get());
        }
    }
    return readerFailure;
}

HRESULT CopySourcePixels(IWICImagingFactory* factory, IWICBitmapSource* source, const GUID& target,
                         std::uint32_t decodeFlags, const ImageSurface& surface)
{
    if (surface.rowBytes > kMax32 || surface.sliceBytes > kMax32) {
        return kOverflow;
    }
    const auto stride = static_cast<UINT>(surface.rowBytes);
    const auto bufferSize = static_cast<UINT>(surface.sliceBytes);
    if (IsEqualGUID(target, GUID_NULL)) {
        return source->CopyPixels(nullptr, stride, bufferSize, surface.pixels);
    }

    if (factory == nullptr) {
        return E_NOINTERFACE;
    }
    ComPtr<IWICFormatConverter> converter;
    HRESULT status = factory->CreateFormatConverter(&converter);
    if (FAILED(status)) {
        return status;
    }
    GUID sourceFormat{};
    status = source->GetPixelFormat(&sourceFormat);
    if (FAILED(status)) {
        return status;
    }
    BOOL canConvert = FALSE;
    if (FAILED(converter->CanConvert(sourceFormat, target, &canConvert)) || !canConvert) {
        return E_UNEXPECTED;
    }
    status =
        converter->Initialize(source, target, DitherFrom(decodeFlags), nullptr, 0.0, WICBitmapPaletteTypeMedianCut);
    if (FAILED(status)) {
        return status;
    }
    return converter->CopyPixels(nullptr, stride, bufferSize, surface.pixels);
}

HRESULT DecodeAllFrames(std::uint32_t decodeFlags, const ImageDesc& desc, IWICBitmapDecoder* decoder, ImageSet& set)
{
    if (decoder == nullptr) {
        return E_POINTER;
    }
    HRESULT status = CheckCopyLimits(desc.pixelFormat, desc.width, desc.height);
    if (FAILED(status)) {
        return status;
    }
    status = set.Allocate2D(desc.pixelFormat, desc.width, desc.height, desc.layerCount, 1, 0);
    if (FAILED(status)) {
        return status;
    }

    bool isFactory2 = false;
    IWICImagingFactory* factory = AcquireImagingFactory(isFactory2);
    if (factory == nullptr) {
        return E_NOINTERFACE;
    }
    GUID target{};
    if (!WicGuidFromFormat(desc.pixelFormat, target, false, isFactory2)) {
        return E_FAIL;
    }

    for (std::uint64_t layer = 0; layer < desc.layerCount; ++layer) {
        const ImageSurface* surface = set.SurfaceAt(0, layer, 0);
        if (surface == nullptr) {
            return E_POINTER;
        }
        if (surface->rowBytes > kMax32 || surface->sliceBytes > kMax32) {
            return kOverflow;
        }

        ComPtr<IWICBitmapFrameDecode> frame;
        status = decoder->GetFrame(static_cast<UINT>(layer), &frame);
        if (FAILED(status)) {
            return status;
        }
        GUID frameFormat{};
        status = frame->GetPixelFormat(&frameFormat);
        if (FAILED(status)) {
            return status;
        }
        UINT width = 0;
        UINT height = 0;
        status = frame->GetSize(&width, &height);
        if (FAILED(status)) {
            return status;
        }

        if (width == desc.width && height == desc.height) {
            status = CopySourcePixels(factory, frame.Get(), IsEqualGUID(frameFormat, target) ? GUID_NULL : target,
                                      decodeFlags, *surface);
        } else {
            ComPtr<IWICBitmapScaler> scaler;
            status = factory->CreateBitmapScaler(&scaler);
            if (FAILED(status)) {
                return status;
            }
            status = scaler->Initialize(frame.Get(), static_cast<UINT>(desc.width), static_cast<UINT>(desc.height),
                                        InterpolationFrom(decodeFlags));
            if (FAILED(status)) {
                return status;
            }
            GUID scaledFormat{};
            status = scaler->GetPixelFormat(&scaledFormat);
            if (FAILED(status)) {
                return status;
            }
            status = CopySourcePixels(factory, scaler.Get(), IsEqualGUID(scaledFormat, target) ? GUID_NULL : target,
                                      decodeFlags, *surface);
        }
        if (FAILED(status)) {
            return status;
        }
    }
    return S_OK;
}

namespace {

HRESULT DecodeIntoSet(const wchar_t* path, IWICImagingFactory* factory, bool isFactory2, std::uint32_t decodeFlags,
                      ImageDesc& desc, ImageSet& set, const MetadataCallback& callback)
{
    ComPtr<IWICBitmapDecoder> decoder;
    HRESULT status =
        factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder);
    if (FAILED(status)) {
        return status;
    }
    ComPtr<IWICBitmapFrameDecode> frame;
    status = decoder->GetFrame(0, &frame);
    if (FAILED(status)) {
        return status;
    }

    GUID target = GUID_NULL;
    status = DescribeFrame(decodeFlags, isFactory2, decoder.Get(), frame.Get(), desc, &target, callback);
    if (FAILED(status)) {
        return status;
    }

    if (desc.layerCount > 1 && (decodeFlags & AllFrames)) {
        return DecodeAllFrames(decodeFlags, desc, decoder.Get(), set);
    }

    status = CheckCopyLimits(desc.pixelFormat, desc.width, desc.height);
    if (FAILED(status)) {
        return status;
    }
    status = set.Allocate2D(desc.pixelFormat, desc.width, desc.height, 1, 1, 0);
    if (FAILED(status)) {
        return status;
    }
    const ImageSurface* surface = set.SurfaceAt(0, 0, 0);
    if (surface == nullptr) {
        return E_POINTER;
    }
    bool unused = false;
    IWICImagingFactory* converterFactory = AcquireImagingFactory(unused);
    if (converterFactory == nullptr) {
        return E_NOINTERFACE;
    }
    return CopySourcePixels(converterFactory, frame.Get(), target, decodeFlags, *surface);
}

}  // namespace

HRESULT DecodeImageFile(const wchar_t* path, std::uint32_t decodeFlags, ImageDesc* desc, ImageSet& set,
                        const MetadataCallback& callback)
{
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    bool isFactory2 = false;
    IWICImagingFactory* factory = AcquireImagingFactory(isFactory2);
    if (factory == nullptr) {
        return E_NOINTERFACE;
    }
    set.Clear();

    ImageDesc decoded{};
    const HRESULT status = DecodeIntoSet(path, factory, isFactory2, decodeFlags, decoded, set, callback);
    if (FAILED(status)) {
        set.Clear();
        return status;
    }
    if (desc != nullptr) {
        *desc = decoded;
    }
    return S_OK;
}
