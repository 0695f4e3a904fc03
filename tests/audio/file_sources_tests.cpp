#include "audio/com_object.h"
#include "audio/file_sources.h"
#include "audio/readable_file.h"
#include "tests/audio/audio_files.h"

#include <gtest/gtest.h>
#include <mediaerr.h>
#include <mmreg.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>

namespace {

// A decoder object that keeps each block it is given and reads it one call
// later, as the decoder-object contract allows: a block's bytes come out (as
// if they were its decoded sound) once the next block has come in, or the
// stream is drained. Or one that takes no MP3 stream at all.
class LateReadingDecoder final : public ComObject<IMediaObject> {
public:
    // The MP3 type the last one was offered.
    static inline MPEGLAYER3WAVEFORMAT offered{};

    explicit LateReadingDecoder(bool takesMp3) : takes(takesMp3) {}
    ~LateReadingDecoder() override
    {
        for (IMediaBuffer* block : held) {
            block->Release();
        }
    }

    HRESULT STDMETHODCALLTYPE SetInputType(DWORD, const DMO_MEDIA_TYPE* type, DWORD) override
    {
        if (type->cbFormat >= sizeof(offered)) {
            std::memcpy(&offered, type->pbFormat, sizeof(offered));
        }
        return takes ? S_OK : DMO_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT STDMETHODCALLTYPE SetOutputType(DWORD, const DMO_MEDIA_TYPE*, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Discontinuity(DWORD) override
    {
        drained = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ProcessInput(DWORD, IMediaBuffer* block, DWORD, REFERENCE_TIME, REFERENCE_TIME) override
    {
        block->AddRef();
        held.push_back(block);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ProcessOutput(DWORD, DWORD, DMO_OUTPUT_DATA_BUFFER* buffers, DWORD* status) override
    {
        *status = 0;
        buffers[0].dwStatus = 0;
        if (held.size() < (drained ? 1u : 2u)) {
            return S_FALSE;
        }
        IMediaBuffer* const oldest = held.front();
        held.pop_front();
        BYTE* in = nullptr;
        DWORD length = 0;
        BYTE* out = nullptr;
        DWORD room = 0;
        oldest->GetBufferAndLength(&in, &length);
        buffers[0].pBuffer->GetBufferAndLength(&out, nullptr);
        buffers[0].pBuffer->GetMaxLength(&room);
        std::memcpy(out, in, std::min(length, room));
        buffers[0].pBuffer->SetLength(std::min(length, room));
        oldest->Release();
        if (held.size() >= (drained ? 1u : 2u)) {
            buffers[0].dwStatus = DMO_OUTPUT_DATA_BUFFERF_INCOMPLETE;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputStreamInfo(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputStreamInfo(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputType(DWORD, DWORD, DMO_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputType(DWORD, DWORD, DMO_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputCurrentType(DWORD, DMO_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputCurrentType(DWORD, DMO_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputSizeInfo(DWORD, DWORD*, DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputSizeInfo(DWORD, DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputMaxLatency(DWORD, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInputMaxLatency(DWORD, REFERENCE_TIME) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Flush() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AllocateStreamingResources() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FreeStreamingResources() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Lock(LONG) override { return E_NOTIMPL; }

private:
    const bool takes;
    std::deque<IMediaBuffer*> held;
    bool drained = false;
};

HRESULT MakeLateReadingDecoder(IMediaObject** decoder)
{
    *decoder = MakeComObject<LateReadingDecoder>(true).Detach();
    return S_OK;
}

HRESULT MakeDecoderForNoMp3(IMediaObject** decoder)
{
    *decoder = MakeComObject<LateReadingDecoder>(false).Detach();
    return S_OK;
}

HRESULT MakeNoDecoder(IMediaObject**)
{
    return REGDB_E_CLASSNOTREG;  // what a system without the decoder answers
}

// An MP3 stream's layout over a file whose "frames" the late-reading decoder
// passes through unchanged: the samples of a WAV file, less a decoder delay.
TEST(FileSources, AnMp3DecoderThatReadsItsInputLateGetsEveryPieceIntact)
{
    const std::vector<std::uint8_t> wav = MakeWav(44100, 2, 22050);
    const std::wstring path = AudioFilePath(L"late-reading.mp3");
    ASSERT_TRUE(WriteFileBytes(path, wav));
    const std::vector<std::uint8_t> coded = WavSamples(wav);
    constexpr std::uint64_t kDelayFrames = 100;
    const FileLayout layout{
        .container = Container::Mp3,
        .info = {.format = {.sampleRate = 44100, .channels = 2}, .lengthBytes = coded.size() - kDelayFrames * 4},
        .dataOffset = 44,
        .dataBytes = coded.size(),
        .skipFrames = kDelayFrames,
        .mp3 = {.bytesPerSecond = 16000, .frameBytes = 385, .padding = Mp3Padding::Always, .codecDelay = 576}};
    const std::wstring fullPath = ResolveReadableFile(path);

    OpenedSource opened = OpenFileSource(fullPath, layout, MakeLateReadingDecoder);
    ASSERT_TRUE(opened.source);
    // The decoder is told the stream as its header describes it.
    const MPEGLAYER3WAVEFORMAT& offered = LateReadingDecoder::offered;
    EXPECT_EQ(offered.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(offered.nBlockSize, 385u);
    EXPECT_EQ(offered.nFramesPerBlock, 1u);
    EXPECT_EQ(offered.fdwFlags, static_cast<DWORD>(MPEGLAYER3_FLAG_PADDING_ON));
    EXPECT_EQ(offered.nCodecDelay, 576u);
    std::vector<std::uint8_t> sound;
    std::vector<std::uint8_t> chunk;
    ReadResult result = ReadResult::Data;
    while ((result = opened.source->Read(chunk)) == ReadResult::Data) {
        sound.insert(sound.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(result, ReadResult::End);
    ASSERT_EQ(sound.size(), layout.info.lengthBytes);
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), coded.begin() + kDelayFrames * 4));

    // Each way the stream pads is told as such (Microsoft's decoder reads it).
    for (const auto& [padding, flag] : {std::pair{Mp3Padding::Iso, MPEGLAYER3_FLAG_PADDING_ISO},
                                        std::pair{Mp3Padding::Never, MPEGLAYER3_FLAG_PADDING_OFF}}) {
        FileLayout padded = layout;
        padded.mp3.padding = padding;
        ASSERT_TRUE(OpenFileSource(fullPath, padded, MakeLateReadingDecoder).source);
        EXPECT_EQ(offered.fdwFlags, static_cast<DWORD>(flag));
    }

    // Without a decoder that takes the stream the file can still be timed;
    // a file that cannot be read cannot.
    for (const Mp3DecoderMaker maker : {MakeNoDecoder, MakeDecoderForNoMp3}) {
        opened = OpenFileSource(fullPath, layout, maker);
        EXPECT_FALSE(opened.source);
        EXPECT_TRUE(opened.noDecoder);
    }
    opened = OpenFileSource(fullPath + L".gone", layout, MakeLateReadingDecoder);
    EXPECT_FALSE(opened.source);
    EXPECT_FALSE(opened.noDecoder);
}

}  // namespace
