#pragma once

#include "texture/image_set.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <functional>

// Options of DecodeImageFile; bits not listed are ignored.
enum DecodeFlags : std::uint32_t {
    BgraAsRgba = 0x1,          // B8G8R8A8 / B8G8R8X8 images delivered as R8G8B8A8
    XrBiasAsUnorm = 0x2,       // R10G10B10_XR_BIAS_A2 delivered as R10G10B10A2
    Widen16Bit = 0x4,          // B5G6R5 / B5G5R5A1 delivered as R8G8B8A8
    KeepOneBit = 0x8,          // black-and-white stays R1 (otherwise R8)
    AllFrames = 0x10,          // every frame becomes an array layer
    SkipColorMetadata = 0x20,  // never read the colour space
    AssumeSrgb = 0x100,        // sRGB unless the metadata says otherwise
    DitherOrdered = 0x10000,
    DitherDiffusion = 0x20000,
    ScaleNearest = 0x100000,
    ScaleLinear = 0x200000,
    ScaleCubic = 0x300000,
};

// Receives the first frame's metadata reader, which stays owned by the decode.
using MetadataCallback = std::function<void(IWICMetadataQueryReader*)>;

// The process-wide imaging factory, created on first use and never released;
// null when COM cannot create one on this thread (a later call tries again).
IWICImagingFactory* AcquireImagingFactory(bool& isFactory2);

// Size, layer count, pixel format, alpha mode and colour space of a decoded
// frame, and the WIC format to convert it to (GUID_NULL: copy as it is).
HRESULT DescribeFrame(std::uint32_t decodeFlags, bool isFactory2, IWICBitmapDecoder* decoder,
                      IWICBitmapFrameDecode* frame, ImageDesc& desc, GUID* conversionTarget,
                      const MetadataCallback& callback);

// Fills one layer per frame, each converted to the description's format and
// rescaled to its size where needed.
HRESULT DecodeAllFrames(std::uint32_t decodeFlags, const ImageDesc& desc, IWICBitmapDecoder* decoder, ImageSet& set);

// Copies a whole WIC source into a surface, through a format converter to
// `target` unless `target` is GUID_NULL. Refuses surfaces whose row or size
// exceed WIC's 32-bit stride and buffer size.
HRESULT CopySourcePixels(IWICImagingFactory* factory, IWICBitmapSource* source, const GUID& target,
                         std::uint32_t decodeFlags, const ImageSurface& surface);

// Decodes an image file into `set`. `desc`, when given, receives the image's
// description (with its alpha mode) and is written only on success. After a
// failure the set is empty (it is left untouched only when there is no path
// or no factory).
HRESULT DecodeImageFile(const wchar_t* path, std::uint32_t decodeFlags, ImageDesc* desc, ImageSet& set,
                        const MetadataCallback& callback);
