#include "tests/texture/wic_test_files.h"

#include "texture/image_encoder.h"

HRESULT WriteImage(const std::wstring& path, const GUID& container, const std::vector<TestFrame>& frames)
{
    std::vector<EncodedFrame> encoded;
    encoded.reserve(frames.size());
    for (const TestFrame& frame : frames) {
        encoded.push_back({frame.width, frame.height, frame.format, frame.stride, frame.pixels, frame.palette});
    }
    return EncodeImageFile(path, container, encoded);
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
