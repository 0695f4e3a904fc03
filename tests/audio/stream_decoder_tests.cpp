#include "audio/audio_file_probe.h"
#include "audio/stream_decoder.h"
#include "audio_files.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <string>

namespace {

TEST(StreamDecoder, DecodesWavSamplesExactlyInTheirOwnFormat)
{
    struct Case {
        std::uint32_t rate;
        std::uint16_t channels;
    };
    for (const Case c : {Case{44100, 2}, Case{22050, 1}}) {
        const std::vector<std::uint8_t> wav = MakeWav(c.rate, c.channels, c.rate / 4);
        const std::wstring path = AudioFilePath(L"exact-" + std::to_wstring(c.rate) + L".wav");
        ASSERT_TRUE(WriteFileBytes(path, wav));

        PcmAudio audio;
        ASSERT_TRUE(DecodeAudioFile(path, audio)) << c.rate;
        EXPECT_EQ(audio.format.sampleRate, c.rate);
        EXPECT_EQ(audio.format.channels, c.channels);
        EXPECT_EQ(audio.bytes, WavSamples(wav)) << c.rate;
    }
}

TEST(StreamDecoder, DecodesTheCommittedMusicToTheLengthItsHeaderStates)
{
    PcmAudio audio;
    ASSERT_TRUE(DecodeAudioFile(L"music.mp3", audio));
    EXPECT_EQ(audio.format.sampleRate, 44100u);
    EXPECT_EQ(audio.format.channels, 2u);
    EXPECT_EQ(audio.bytes.size(), 64u * audio.format.BytesPerSecond());

    const std::optional<StreamInfo> info = ProbeAudioFile(ResolveReadableFile(L"music.mp3"));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->format, audio.format);
    EXPECT_EQ(info->lengthBytes, audio.bytes.size());
}

TEST(StreamDecoder, RejectsWhatIsNotDecodableSound)
{
    const std::wstring empty = AudioFilePath(L"empty.wav");
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    const std::string text = "This is not a sound file, only some text.\r\n";
    const std::wstring textFile = AudioFilePath(L"text.mp3");
    ASSERT_TRUE(WriteFileBytes(textFile, {text.begin(), text.end()}));
    std::vector<std::uint8_t> header = MakeWav(44100, 2, 1000);
    header.resize(30);  // cut inside the format chunk
    const std::wstring cutHeader = AudioFilePath(L"cut-header.wav");
    ASSERT_TRUE(WriteFileBytes(cutHeader, header));

    for (const std::wstring& path : {std::wstring(L"audio-files\\no-such-file.mp3"), std::wstring(), empty, textFile,
                                     cutHeader, std::wstring(L"audio-files")}) {
        PcmAudio audio;
        audio.format.sampleRate = 1;
        EXPECT_FALSE(DecodeAudioFile(path, audio)) << path;
        EXPECT_FALSE(audio.IsValid());
        EXPECT_TRUE(audio.bytes.empty());
    }
}

TEST(StreamDecoder, PlaysWhatIsLeftOfAFileCutInItsSamples)
{
    std::vector<std::uint8_t> wav = MakeWav(44100, 2, 4410);
    wav.resize(wav.size() / 2 + 1);  // the header still announces all samples
    const std::wstring path = AudioFilePath(L"cut-samples.wav");
    ASSERT_TRUE(WriteFileBytes(path, wav));

    PcmAudio audio;
    ASSERT_TRUE(DecodeAudioFile(path, audio));
    const std::vector<std::uint8_t> present = WavSamples(wav);
    ASSERT_GT(audio.bytes.size(), 0u);
    ASSERT_LE(audio.bytes.size(), present.size());
    EXPECT_EQ(audio.bytes.size() % audio.format.BlockAlign(), 0u);
    EXPECT_TRUE(std::equal(audio.bytes.begin(), audio.bytes.end(), present.begin()));
}

TEST(StreamDecoder, RefusesMoreThanTheSizeLimit)
{
    const std::wstring path = WriteToneWav(L"limit.wav", 44100, 2, 0.5);
    PcmAudio audio;
    EXPECT_FALSE(DecodeAudioFile(path, audio, 44100));
    EXPECT_TRUE(audio.bytes.empty());
    EXPECT_TRUE(DecodeAudioFile(path, audio, 88200));
}

TEST(StreamDecoder, LeavesTheCallersApartmentAlone)
{
    // The program calls in from a thread in a single-threaded apartment.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    const std::wstring path = WriteToneWav(L"apartment.wav", 44100, 2, 0.1);
    PcmAudio audio;
    EXPECT_TRUE(DecodeAudioFile(path, audio));
    // Still the same apartment: joining it again only adds a reference.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

}  // namespace
