#include "texture/texture_builder.h"

#include "texture/checked_math.h"

#include <cstddef>
#include <memory>
#include <new>

namespace {

constexpr std::uint64_t kMax16 = 0xFFFF;

// Checks one surface the texture needs and fills its initial-data entry.
// Pitches travel to Direct3D as 32-bit values; larger ones would be cut
// short, so they are refused.
HRESULT TakeSurface(const ImageSurface* surfaces, std::uint64_t surfaceCount, std::uint64_t index,
                    const ImageDesc& desc, D3D11_SUBRESOURCE_DATA& entry)
{
    if (index >= surfaceCount) {
        return E_FAIL;
    }
    const ImageSurface& surface = surfaces[index];
    if (surface.pixelFormat != desc.pixelFormat) {
        return E_FAIL;
    }
    if (surface.pixels == nullptr) {
        return E_POINTER;
    }
    if (surface.rowBytes > kMax32 || surface.sliceBytes > kMax32) {
        return E_INVALIDARG;
    }
    entry.pSysMem = surface.pixels;
    entry.SysMemPitch = static_cast<UINT>(surface.rowBytes);
    entry.SysMemSlicePitch = static_cast<UINT>(surface.sliceBytes);
    return S_OK;
}

// Direct3D reads a 3-D level's slices as one block, so they must lie back to
// back with equal sizes.
HRESULT CheckFollowingSlices(const ImageSurface* surfaces, std::uint64_t surfaceCount, std::uint64_t firstIndex,
                             std::uint64_t depth)
{
    const ImageSurface& first = surfaces[firstIndex];
    for (std::uint64_t k = 1; k < depth; ++k) {
        const std::uint64_t index = firstIndex + k;
        if (index >= surfaceCount) {
            return E_FAIL;
        }
        const ImageSurface& previous = surfaces[index - 1];
        const ImageSurface& slice = surfaces[index];
        if (slice.pixels == nullptr) {
            return E_POINTER;
        }
        const auto expected = reinterpret_cast<std::uintptr_t>(previous.pixels) + first.sliceBytes;
        if (reinterpret_cast<std::uintptr_t>(slice.pixels) != expected || slice.pixelFormat != first.pixelFormat ||
            slice.rowBytes != first.rowBytes || slice.sliceBytes != first.sliceBytes) {
            return E_FAIL;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT BuildTexture(ID3D11Device* device, const ImageSurface* surfaces, std::uint64_t surfaceCount,
                     const ImageDesc& desc, D3D11_USAGE usage, UINT bindFlags, UINT cpuAccessFlags, UINT miscFlags,
                     std::uint32_t formatFlags, ID3D11Resource** texture)
{
    if (device == nullptr || surfaces == nullptr || surfaceCount == 0 || texture == nullptr) {
        return E_INVALIDARG;
    }
    *texture = nullptr;

    if (desc.mipCount == 0 || desc.layerCount == 0 || desc.width > kMax32 || desc.height > kMax32 ||
        desc.mipCount > kMax16 || desc.layerCount > kMax16) {
        return E_INVALIDARG;
    }

    // At most 0xFFFF x 0xFFFF entries: the byte count cannot overflow.
    const std::uint64_t entryCount = desc.mipCount * desc.layerCount;
    std::unique_ptr<D3D11_SUBRESOURCE_DATA[]> initialData(
        new (std::nothrow) D3D11_SUBRESOURCE_DATA[static_cast<std::size_t>(entryCount)]);
    if (!initialData) {
        return E_OUTOFMEMORY;
    }

    if (desc.dimension == kImageDimension3D) {
        if (desc.depth == 0 || desc.depth > kMax16) {
            return E_INVALIDARG;
        }
        if (desc.layerCount > 1) {
            return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        }
        std::uint64_t depth = desc.depth;
        for (std::uint64_t mip = 0; mip < desc.mipCount; ++mip) {
            const std::uint64_t index = desc.SurfaceIndex(mip, 0, 0);
            HRESULT status = TakeSurface(surfaces, surfaceCount, index, desc, initialData[mip]);
            if (FAILED(status)) {
                return status;
            }
            status = CheckFollowingSlices(surfaces, surfaceCount, index, depth);
            if (FAILED(status)) {
                return status;
            }
            depth = NextMipExtent(depth);
        }
    } else {
        for (std::uint64_t layer = 0; layer < desc.layerCount; ++layer) {
            for (std::uint64_t mip = 0; mip < desc.mipCount; ++mip) {
                const HRESULT status = TakeSurface(surfaces, surfaceCount, desc.SurfaceIndex(mip, layer, 0), desc,
                                                   initialData[layer * desc.mipCount + mip]);
                if (FAILED(status)) {
                    return status;
                }
            }
        }
    }

    DXGI_FORMAT format = desc.pixelFormat;
    if (formatFlags & AsSrgb) {
        format = WithSrgb(format);
    } else if (formatFlags & AsLinear) {
        format = WithoutSrgb(format);
    }

    const UINT width = static_cast<UINT>(desc.width);
    const UINT height = static_cast<UINT>(desc.height);
    const UINT mipLevels = static_cast<UINT>(desc.mipCount);
    const UINT arraySize = static_cast<UINT>(desc.layerCount);
    const UINT flatMiscFlags = miscFlags & ~static_cast<UINT>(D3D11_RESOURCE_MISC_TEXTURECUBE);

    HRESULT status = E_FAIL;
    switch (desc.dimension) {
    case kImageDimension1D: {
        const D3D11_TEXTURE1D_DESC textureDesc{.Width = width,
                                               .MipLevels = mipLevels,
                                               .ArraySize = arraySize,
                                               .Format = format,
                                               .Usage = usage,
                                               .BindFlags = bindFlags,
                                               .CPUAccessFlags = cpuAccessFlags,
                                               .MiscFlags = flatMiscFlags};
        ID3D11Texture1D* created = nullptr;
        status = device->CreateTexture1D(&textureDesc, initialData.get(), &created);
        if (SUCCEEDED(status)) {
            *texture = created;
        }
        break;
    }
    case kImageDimension2D: {
        const UINT cubeBit = (desc.optionFlags & kImageOptionCubeMap) ? D3D11_RESOURCE_MISC_TEXTURECUBE : 0;
        const D3D11_TEXTURE2D_DESC textureDesc{.Width = width,
                                               .Height = height,
                                               .MipLevels = mipLevels,
                                               .ArraySize = arraySize,
                                               .Format = format,
                                               .SampleDesc = {.Count = 1, .Quality = 0},
                                               .Usage = usage,
                                               .BindFlags = bindFlags,
                                               .CPUAccessFlags = cpuAccessFlags,
                                               .MiscFlags = flatMiscFlags | cubeBit};
        ID3D11Texture2D* created = nullptr;
        status = device->CreateTexture2D(&textureDesc, initialData.get(), &created);
        if (SUCCEEDED(status)) {
            *texture = created;
        }
        break;
    }
    case kImageDimension3D: {
        const D3D11_TEXTURE3D_DESC textureDesc{.Width = width,
                                               .Height = height,
                                               .Depth = static_cast<UINT>(desc.depth),
                                               .MipLevels = mipLevels,
                                               .Format = format,
                                               .Usage = usage,
                                               .BindFlags = bindFlags,
                                               .CPUAccessFlags = cpuAccessFlags,
                                               .MiscFlags = flatMiscFlags};
        ID3D11Texture3D* created = nullptr;
        status = device->CreateTexture3D(&textureDesc, initialData.get(), &created);
        if (SUCCEEDED(status)) {
            *texture = created;
        }
        break;
    }
    default:
        break;  // unreachable: such descriptions have no surfaces
    }
    return status;
}

HRESULT CreateShaderTexture(ID3D11Device* device, const ImageSurface* surfaces, std::uint64_t surfaceCount,
                            const ImageDesc& desc, ID3D11Resource** texture)
{
    return BuildTexture(device, surfaces, surfaceCount, desc, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0, 0, 0,
                        texture);
}
