// Any sound file, probed the way the audio library opens one; the layout it
// reports must be one the streaming sources can follow.
#include "audio/audio_header.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzedFile file = FileFromInput(data, size);
    const std::optional<FileLayout> layout = ProbeAudioHead(file.Reader(), file.size);
    if (!layout) {
        return 0;
    }
    const PcmFormat format = layout->info.format;
    Require(format.IsValid(), "a probed format is valid");
    Require(layout->info.lengthBytes > 0 && layout->info.lengthBytes % format.BlockAlign() == 0,
            "the length is whole frames, at least one");
    Require(layout->dataOffset <= file.size && layout->dataBytes <= file.size - layout->dataOffset,
            "the data lies inside the file");
    if (layout->container == Container::Wav) {
        Require(layout->dataBytes == layout->info.lengthBytes, "a WAV file holds every sample it promises");
    }
    return 0;
}
