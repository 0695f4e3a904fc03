#pragma once

#include "texture/pitch_rules.h"

#include "texture/windows_types.h"

#include <cstdint>

// Dimension numbers of ImageDesc::dimension, as D3D11_RESOURCE_DIMENSION
// counts them (kept here so the container needs no Direct3D header).
inline constexpr std::int32_t kImageDimension1D = 2;
inline constexpr std::int32_t kImageDimension2D = 3;
inline constexpr std::int32_t kImageDimension3D = 4;

// Bit of ImageDesc::optionFlags marking a cube map.
inline constexpr std::uint32_t kImageOptionCubeMap = 0x4;
// ImageDesc::extraFlags bits 0 to 2: the alpha mode (0 unspecified, 3 opaque).
inline constexpr std::uint32_t kAlphaModeMask = 0x7;
inline constexpr std::uint32_t kAlphaModeOpaque = 3;

// "No such surface" for SurfaceIndex.
inline constexpr std::uint64_t kNoSurface = ~std::uint64_t{0};

// What an image is. The all-zero description is the empty one.
struct ImageDesc {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t depth = 0;       // slices of a 3-D image, 1 otherwise
    std::uint64_t layerCount = 0;  // 1 for a 3-D image
    std::uint64_t mipCount = 0;
    std::uint32_t optionFlags = 0;
    std::uint32_t extraFlags = 0;
    DXGI_FORMAT pixelFormat = DXGI_FORMAT_UNKNOWN;
    std::int32_t dimension = 0;

    // Position of surface (mip, layer, slice) in an ImageSet's surface array:
    // 1-D and 2-D images store all mips of layer 0, then of layer 1, ...;
    // 3-D images all slices of mip 0, then of mip 1, ... kNoSurface when the
    // description has no such surface.
    std::uint64_t SurfaceIndex(std::uint64_t mip, std::uint64_t layer, std::uint64_t slice) const;
};

// One mip level of one layer (or one depth slice of a 3-D mip level).
struct ImageSurface {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    DXGI_FORMAT pixelFormat = DXGI_FORMAT_UNKNOWN;
    std::uint64_t rowBytes = 0;
    std::uint64_t sliceBytes = 0;
    std::uint8_t* pixels = nullptr;  // inside the owning set's pixel block
};

// Number of surfaces and total pixel bytes of a description; both 0 and the
// status returned on failure.
HRESULT MeasureImage(const ImageDesc& desc, std::uint32_t pitchFlags, std::uint64_t& surfaceCount,
                     std::uint64_t& totalBytes);

// Fills surface records back to back over a pixel block, in index order.
// False when the description has no surfaces, a size is invalid, the array
// is too short or the block too small; records already written stay written.
bool LayOutSurfaces(std::uint8_t* block, std::uint64_t blockBytes, const ImageDesc& desc, std::uint32_t pitchFlags,
                    ImageSurface* surfaces, std::uint64_t capacity);

// A decoded image: one 16-byte-aligned, zero-filled pixel block and one array
// of surface records pointing into it. Owned by one holder, never copied.
class ImageSet {
public:
    ImageSet() = default;
    ImageSet(const ImageSet&) = delete;
    ImageSet& operator=(const ImageSet&) = delete;
    ~ImageSet() { Clear(); }

    // A 2-D image of layerCount layers with mipCount levels each (0: the full
    // chain). Any earlier contents are released first.
    HRESULT Allocate2D(DXGI_FORMAT pixelFormat, std::uint64_t width, std::uint64_t height, std::uint64_t layerCount,
                       std::uint64_t mipCount, std::uint32_t pitchFlags);

    // Releases the pixels and surface records and empties the description.
    void Clear();

    // The surface record, or null when the set has no such surface.
    const ImageSurface* SurfaceAt(std::uint64_t mip, std::uint64_t layer, std::uint64_t slice) const;
    ImageSurface* SurfaceAt(std::uint64_t mip, std::uint64_t layer, std::uint64_t slice);

    std::uint64_t surfaceCount = 0;
    std::uint64_t byteSize = 0;
    ImageDesc desc{};
    ImageSurface* surfaces = nullptr;
    std::uint8_t* pixelMemory = nullptr;
};
