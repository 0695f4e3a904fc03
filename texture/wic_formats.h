#pragma once

#include <windows.h>
#include <dxgiformat.h>
#include <wincodec.h>

#include <cstdint>

// A WIC pixel format that Direct3D can sample as it is.
struct WicFormatRow {
    const GUID& wicFormat;
    DXGI_FORMAT dxgiFormat;
};

// A WIC pixel format that must be converted first, the format it becomes and
// the alpha mode that conversion implies (0 unspecified, 3 opaque).
struct WicConversionRow {
    const GUID& source;
    const GUID& target;
    std::uint32_t alphaMode;
};

// Both tables are searched from the top; the first match wins.
extern const WicFormatRow kWicFormatTable[16];
extern const WicConversionRow kWicConversionTable[38];

// The DXGI format of a WIC pixel format, DXGI_FORMAT_UNKNOWN when there is
// none. 96bppRGBFloat counts only with the version-2 factory, the only one
// that handles it.
DXGI_FORMAT FormatFromWicGuid(const GUID& wicFormat, bool isFactory2);

// The WIC pixel format to decode into for a DXGI format; false (and GUID_NULL)
// when WIC has no such format.
bool WicGuidFromFormat(DXGI_FORMAT format, GUID& wicFormat, bool preferBgra, bool isFactory2);
