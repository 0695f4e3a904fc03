// The decoding thread's work: opens the stream's source and decodes a few
// seconds ahead of what is heard into the queue of decoded PCM; serves a
// seek from what is held, or from the source opened again; tells the state
// how far it got and where it ended.
//
// What has been heard is kept, up to kKeptBehindBytes behind the position
// (12 MiB: 71 s of 44.1 kHz stereo, the whole of the demo's 64 s song), so
// that a seek back into it plays at once; one further back opens the source
// again and decodes it from its start up to there. The bound is what a
// longer song holds at most; it is reached within its first 71 s, so that
// the memory of a long run (the looping demo's) stands still after that.
#pragma once

#include "audio/pcm_queue.h"
#include "audio/pcm_source.h"
#include "audio/playback_state.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

inline constexpr std::uint64_t kKeptBehindBytes = std::uint64_t{12} << 20;

class StreamDecoder {
public:
    // `stop` and `stopping` end Run; `keptBehind`: the bytes heard that are kept.
    StreamDecoder(PlaybackState& shared, SourceOpener opener, const StreamInfo& stream, HANDLE stop,
                  const std::atomic<bool>& stopping, std::uint64_t keptBehind = kKeptBehindBytes);

    // Decoding thread, in COM's multithreaded apartment (`com`: entered;
    // without it no source is opened): decodes until asked to stop.
    void Run(bool com);
    // Decoding thread, before it leaves the apartment.
    void CloseSource() { source.reset(); }

    // Any thread: the decoded bytes held.
    std::size_t HeldBytes();
    // Feeding thread: copies into `into` what is decoded from `from` on, in
    // whole frames and at most `most` bytes; nothing while the queue starts
    // again from a place sought after `from`. False when the copy failed.
    bool CopyDecoded(std::uint64_t from, std::uint64_t most, std::vector<std::uint8_t>& into);

private:
    // The source, unless it is not in the format the stream's header stated.
    OpenedSource OpenSource();
    // Lets go of what was heard before the stretch kept and, once less than
    // the low mark is left ahead, decodes up to the full stretch ahead.
    void DecodeAhead();
    void ApplySeek();
    std::uint64_t HeldEnd();
    void FinishSource(std::uint64_t end);

    PlaybackState& state;
    const SourceOpener openSource;
    const StreamInfo info;
    const HANDLE stopEvent;
    const std::atomic<bool>& stopRequested;
    const std::uint64_t keptBehindBytes;

    std::unique_ptr<PcmSource> source;
    std::vector<std::uint8_t> chunk;

    std::mutex queueMutex;  // guards the queue, which the feeding thread reads
    PcmQueue queue;
};
