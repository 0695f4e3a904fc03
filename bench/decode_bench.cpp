// Decoding a 4096 x 4096 JPEG: DecodeImageFile against WIC's own decode of
// the same file into one buffer, and the peak memory of our decode against
// the size of one decoded image. Prints figures; asserts nothing.
//
// Run it from build/bench: `wine decode_bench.exe` measures the peak of
// DecodeImageFile, `wine decode_bench.exe bare` that of WIC alone.
// The JPEG is made at run time (WIC's encoder, a smooth pattern with some
// detail) beside the executable, and removed at the end.

#include "texture/image_decoder.h"

#include <windows.h>
#include <psapi.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kSize = 4096;
const wchar_t* const kFile = L"decode_bench_4096.jpg";
constexpr int kRounds = 11;

HRESULT WriteTestJpeg(IWICImagingFactory* factory)
{
    const UINT stride = kSize * 3;
    std::vector<BYTE> pixels(std::size_t{stride} * kSize);
    for (UINT y = 0; y < kSize; ++y) {
        for (UINT x = 0; x < kSize; ++x) {
            BYTE* p = &pixels[std::size_t{y} * stride + x * 3];
            p[0] = static_cast<BYTE>((x * 255) / kSize);
            p[1] = static_cast<BYTE>((y * 255) / kSize);
            p[2] = static_cast<BYTE>(((x ^ y) & 0x3F) * 3);
        }
    }
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    GUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) {
        hr = stream->InitializeFromFilename(kFile, GENERIC_WRITE);
    }
    if (SUCCEEDED(hr)) {
        hr = factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->CreateNewFrame(&frame, &options);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Initialize(options.Get());
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetSize(kSize, kSize);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetPixelFormat(&format);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->WritePixels(kSize, stride, static_cast<UINT>(pixels.size()), pixels.data());
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Commit();
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Commit();
    }
    return hr;
}

// WIC alone: decoder, converter to 32bppRGBA, one copy into one buffer.
HRESULT BareDecode(IWICImagingFactory* factory, std::uint8_t* buffer, std::size_t bufferSize)
{
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    HRESULT hr =
        factory->CreateDecoderFromFilename(kFile, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder);
    if (SUCCEEDED(hr)) {
        hr = decoder->GetFrame(0, &frame);
    }
    if (SUCCEEDED(hr)) {
        hr = factory->CreateFormatConverter(&converter);
    }
    if (SUCCEEDED(hr)) {
        hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeMedianCut);
    }
    if (SUCCEEDED(hr)) {
        hr = converter->CopyPixels(nullptr, kSize * 4, static_cast<UINT>(bufferSize), buffer);
    }
    return hr;
}

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

PROCESS_MEMORY_COUNTERS MemoryNow()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

double Mib(std::uint64_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        return 1;
    }
    bool isFactory2 = false;
    IWICImagingFactory* factory = AcquireImagingFactory(isFactory2);
    if (factory == nullptr) {
        std::printf("no imaging factory\n");
        return 1;
    }
    if (FAILED(WriteTestJpeg(factory))) {
        std::printf("could not write the test JPEG\n");
        return 1;
    }
    const std::size_t imageBytes = std::size_t{kSize} * kSize * 4;
    std::printf("decode_bench: %ux%u JPEG, decoded size %.1f MiB, factory version %d\n", kSize, kSize, Mib(imageBytes),
                isFactory2 ? 2 : 1);

    // Peak memory of one decode, measured before anything else has raised the
    // process's peak: DecodeImageFile, or with the argument "bare" WIC alone.
    const bool bareFirst = argc > 1 && std::strcmp(argv[1], "bare") == 0;
    const PROCESS_MEMORY_COUNTERS before = MemoryNow();
    if (bareFirst) {
        auto* buffer = static_cast<std::uint8_t*>(std::malloc(imageBytes));
        if (buffer == nullptr || FAILED(BareDecode(factory, buffer, imageBytes))) {
            return 1;
        }
        std::free(buffer);
    } else {
        ImageSet set;
        ImageDesc desc{};
        if (FAILED(DecodeImageFile(kFile, 0, &desc, set, {}))) {
            std::printf("DecodeImageFile failed\n");
            return 1;
        }
    }
    const PROCESS_MEMORY_COUNTERS after = MemoryNow();
    const std::uint64_t peakWorkingSet = after.PeakWorkingSetSize - before.WorkingSetSize;
    std::printf("peak working set over one %s: +%.1f MiB (%.2fx the decoded image)\n",
                bareFirst ? "bare WIC decode" : "DecodeImageFile", Mib(peakWorkingSet),
                static_cast<double>(peakWorkingSet) / imageBytes);
    // Wine keeps the commit figures flat; print them only where they move.
    if (after.PeakPagefileUsage > before.PagefileUsage + (1u << 20)) {
        const std::uint64_t peakCommit = after.PeakPagefileUsage - before.PagefileUsage;
        std::printf("peak committed memory: +%.1f MiB (%.2fx)\n", Mib(peakCommit),
                    static_cast<double>(peakCommit) / imageBytes);
    }

    // Alternate the two so drift in the machine's speed hits both alike.
    std::vector<double> ours;
    std::vector<double> bare;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        {
            ImageSet set;
            ImageDesc desc{};
            if (FAILED(DecodeImageFile(kFile, 0, &desc, set, {}))) {
                return 1;
            }
        }
        ours.push_back(Milliseconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        {
            auto* buffer = static_cast<std::uint8_t*>(std::malloc(imageBytes));
            if (buffer == nullptr || FAILED(BareDecode(factory, buffer, imageBytes))) {
                return 1;
            }
            std::free(buffer);
        }
        bare.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    }
    // The minimum is the run least disturbed by the rest of the machine.
    const double oursBest = *std::min_element(ours.begin(), ours.end());
    const double bareBest = *std::min_element(bare.begin(), bare.end());
    std::printf("DecodeImageFile: best %.1f ms, median %.1f ms over %d runs\n", oursBest, Median(ours), kRounds);
    std::printf("bare WIC decode: best %.1f ms, median %.1f ms over %d runs\n", bareBest, Median(bare), kRounds);
    // Each round's two runs see much the same load from the rest of the
    // machine, so the ratio within a round is the steadiest figure.
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ratios.push_back(ours[i] / bare[i]);
    }
    std::printf("ratio of the best runs: %.3f, median ratio within a round: %.3f "
                "(target <= 1.05)\n",
                oursBest / bareBest, Median(ratios));

    DeleteFileW(kFile);
    return 0;
}
