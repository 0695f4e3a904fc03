#include "texture/wic_formats.h"

const WicFormatRow kWicFormatTable[16] = {
    {GUID_WICPixelFormat128bppRGBAFloat, DXGI_FORMAT_R32G32B32A32_FLOAT},
    {GUID_WICPixelFormat64bppRGBAHalf, DXGI_FORMAT_R16G16B16A16_FLOAT},
    {GUID_WICPixelFormat64bppRGBA, DXGI_FORMAT_R16G16B16A16_UNORM},
    {GUID_WICPixelFormat32bppRGBA, DXGI_FORMAT_R8G8B8A8_UNORM},
    {GUID_WICPixelFormat32bppBGRA, DXGI_FORMAT_B8G8R8A8_UNORM},
    {GUID_WICPixelFormat32bppBGR, DXGI_FORMAT_B8G8R8X8_UNORM},
    {GUID_WICPixelFormat32bppRGBA1010102XR, DXGI_FORMAT_R10G10B10_XR_BIAS_A2_UNORM},
    {GUID_WICPixelFormat32bppRGBA1010102, DXGI_FORMAT_R10G10B10A2_UNORM},
    {GUID_WICPixelFormat16bppBGRA5551, DXGI_FORMAT_B5G5R5A1_UNORM},
    {GUID_WICPixelFormat16bppBGR565, DXGI_FORMAT_B5G6R5_UNORM},
    {GUID_WICPixelFormat32bppGrayFloat, DXGI_FORMAT_R32_FLOAT},
    {GUID_WICPixelFormat16bppGrayHalf, DXGI_FORMAT_R16_FLOAT},
    {GUID_WICPixelFormat16bppGray, DXGI_FORMAT_R16_UNORM},
    {GUID_WICPixelFormat8bppGray, DXGI_FORMAT_R8_UNORM},
    {GUID_WICPixelFormat8bppAlpha, DXGI_FORMAT_A8_UNORM},
    {GUID_WICPixelFormatBlackWhite, DXGI_FORMAT_R1_UNORM},
};

const WicConversionRow kWicConversionTable[38] = {
    {GUID_WICPixelFormat1bppIndexed, GUID_WICPixelFormat32bppRGBA, 0},
    {GUID_WICPixelFormat2bppIndexed, GUID_WICPixelFormat32bppRGBA, 0},
    {GUID_WICPixelFormat4bppIndexed, GUID_WICPixelFormat32bppRGBA, 0},
    {GUID_WICPixelFormat8bppIndexed, GUID_WICPixelFormat32bppRGBA, 0},
    {GUID_WICPixelFormat2bppGray, GUID_WICPixelFormat8bppGray, 0},
    {GUID_WICPixelFormat4bppGray, GUID_WICPixelFormat8bppGray, 0},
    {GUID_WICPixelFormat16bppGrayFixedPoint, GUID_WICPixelFormat16bppGrayHalf, 0},
    {GUID_WICPixelFormat32bppGrayFixedPoint, GUID_WICPixelFormat32bppGrayFloat, 0},
    {GUID_WICPixelFormat16bppBGR555, GUID_WICPixelFormat16bppBGRA5551, 3},
    {GUID_WICPixelFormat32bppBGR101010, GUID_WICPixelFormat32bppRGBA1010102, 3},
    {GUID_WICPixelFormat24bppBGR, GUID_WICPixelFormat32bppRGBA, 3},
    {GUID_WICPixelFormat24bppRGB, GUID_WICPixelFormat32bppRGBA, 3},
    {GUID_WICPixelFormat32bppPBGRA, GUID_WICPixelFormat32bppRGBA, 0},
    {GUID_WICPixelFormat32bppPRGBA, GUID_WICPixelFormat32bppRGBA, 0},
    {GUID_WICPixelFormat48bppRGB, GUID_WICPixelFormat64bppRGBA, 3},
    {GUID_WICPixelFormat48bppBGR, GUID_WICPixelFormat64bppRGBA, 3},
    {GUID_WICPixelFormat64bppBGRA, GUID_WICPixelFormat64bppRGBA, 0},
    {GUID_WICPixelFormat64bppPRGBA, GUID_WICPixelFormat64bppRGBA, 0},
    {GUID_WICPixelFormat64bppPBGRA, GUID_WICPixelFormat64bppRGBA, 0},
    {GUID_WICPixelFormat48bppRGBFixedPoint, GUID_WICPixelFormat64bppRGBAHalf, 3},
    {GUID_WICPixelFormat48bppBGRFixedPoint, GUID_WICPixelFormat64bppRGBAHalf, 3},
    {GUID_WICPixelFormat64bppRGBAFixedPoint, GUID_WICPixelFormat64bppRGBAHalf, 0},
    {GUID_WICPixelFormat64bppBGRAFixedPoint, GUID_WICPixelFormat64bppRGBAHalf, 0},
    {GUID_WICPixelFormat64bppRGBFixedPoint, GUID_WICPixelFormat64bppRGBAHalf, 3},
    {GUID_WICPixelFormat64bppRGBHalf, GUID_WICPixelFormat64bppRGBAHalf, 3},
    {GUID_WICPixelFormat48bppRGBHalf, GUID_WICPixelFormat64bppRGBAHalf, 3},
    {GUID_WICPixelFormat128bppPRGBAFloat, GUID_WICPixelFormat128bppRGBAFloat, 0},
    {GUID_WICPixelFormat128bppRGBFloat, GUID_WICPixelFormat128bppRGBAFloat, 3},
    {GUID_WICPixelFormat128bppRGBAFixedPoint, GUID_WICPixelFormat128bppRGBAFloat, 0},
    {GUID_WICPixelFormat128bppRGBFixedPoint, GUID_WICPixelFormat128bppRGBAFloat, 3},
    {GUID_WICPixelFormat32bppRGBE, GUID_WICPixelFormat128bppRGBAFloat, 3},
    {GUID_WICPixelFormat32bppCMYK, GUID_WICPixelFormat32bppRGBA, 3},
    {GUID_WICPixelFormat64bppCMYK, GUID_WICPixelFormat64bppRGBA, 3},
    {GUID_WICPixelFormat40bppCMYKAlpha, GUID_WICPixelFormat32bppRGBA, 0},
    {GUID_WICPixelFormat80bppCMYKAlpha, GUID_WICPixelFormat64bppRGBA, 0},
    {GUID_WICPixelFormat32bppRGB, GUID_WICPixelFormat32bppRGBA, 3},
    {GUID_WICPixelFormat64bppRGB, GUID_WICPixelFormat64bppRGBA, 3},
    {GUID_WICPixelFormat64bppPRGBAHalf, GUID_WICPixelFormat64bppRGBAHalf, 0},
};

DXGI_FORMAT FormatFromWicGuid(const GUID& wicFormat, bool isFactory2)
{
    for (const WicFormatRow& row : kWicFormatTable) {
        if (IsEqualGUID(row.wicFormat, wicFormat)) {
            return row.dxgiFormat;
        }
    }
    if (isFactory2 && IsEqualGUID(wicFormat, GUID_WICPixelFormat96bppRGBFloat)) {
        return DXGI_FORMAT_R32G32B32_FLOAT;
    }
    return DXGI_FORMAT_UNKNOWN;
}

bool WicGuidFromFormat(DXGI_FORMAT format, GUID& wicFormat, bool preferBgra, bool isFactory2)
{
    wicFormat = GUID_NULL;
    switch (format) {
    case DXGI_FORMAT_R32G32B32_FLOAT:
        if (!isFactory2) {
            return false;
        }
        wicFormat = GUID_WICPixelFormat96bppRGBFloat;
        return true;
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
        wicFormat = preferBgra ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat32bppRGBA;
        return true;
    case DXGI_FORMAT_D32_FLOAT:
        wicFormat = GUID_WICPixelFormat32bppGrayFloat;
        return true;
    case DXGI_FORMAT_D16_UNORM:
        wicFormat = GUID_WICPixelFormat16bppGray;
        return true;
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
        wicFormat = GUID_WICPixelFormat32bppBGRA;
        return true;
    case DXGI_FORMAT_B8G8R8X8_UNORM_SRGB:
        wicFormat = GUID_WICPixelFormat32bppBGR;
        return true;
    default:
        break;
    }
    for (const WicFormatRow& row : kWicFormatTable) {
        if (row.dxgiFormat == format) {
            wicFormat = row.wicFormat;
            return true;
        }
    }
    return false;
}
