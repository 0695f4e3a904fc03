#include "audio/stream_decoder.h"

#include "audio/scale_down.h"
#include "audio/thread_events.h"

#include <algorithm>
#include <utility>

namespace {

// How far decoding runs ahead of what is heard: the memory held, and the
// slack against a decoder held up by a busy machine. It resumes when less
// than the low mark is left, in bursts, which costs the decoder less than a
// sample now and then.
constexpr std::uint64_t kDecodeAheadMs = 4000;
constexpr std::uint64_t kDecodeLowMarkMs = 3000;
// How often the decoding thread looks at how far ahead it is.
constexpr DWORD kDecodeIntervalMs = 50;

// What a seek back into still plays at once: the music heard lately, as far
// as this many bytes behind what is heard.
std::uint64_t KeptFrom(std::uint64_t heard, std::uint64_t keptBehind)
{
    return heard > keptBehind ? heard - keptBehind : 0;
}

}  // namespace

StreamDecoder::StreamDecoder(PlaybackState& shared, SourceOpener opener, const StreamInfo& stream, HANDLE stop,
                             const std::atomic<bool>& stopping, std::uint64_t keptBehind)
    : state(shared), openSource(std::move(opener)), info(stream), stopEvent(stop), stopRequested(stopping),
      keptBehindBytes(keptBehind)
{
}

void StreamDecoder::Run(bool com)
{
    OpenedSource opened;
    if (com) {
        opened = OpenSource();
    }
    source = std::move(opened.source);
    if (!source) {
        state.NoteNoSource(opened.noDecoder);
    }
    const HANDLE wakers[] = {stopEvent, state.DecoderWake()};
    do {
        DecodeAhead();
    } while (!stopRequested && PacedWait(2, wakers, kDecodeIntervalMs) != WAIT_OBJECT_0);
}

std::size_t StreamDecoder::HeldBytes()
{
    std::lock_guard lock(queueMutex);
    return queue.HeldBytes();
}

bool StreamDecoder::CopyDecoded(std::uint64_t from, std::uint64_t most, std::vector<std::uint8_t>& into)
{
    std::lock_guard lock(queueMutex);
    const std::uint64_t decoded = std::min(queue.End(), info.lengthBytes);
    const std::uint64_t available = decoded > from && from >= queue.Begin() ? decoded - from : 0;
    const auto bytes = static_cast<std::size_t>(std::min(most, available - available % info.format.BlockAlign()));
    into.resize(bytes);
    return queue.CopyOut(from, into.data(), bytes) == bytes;
}

OpenedSource StreamDecoder::OpenSource()
{
    OpenedSource opened;
    if (openSource) {
        opened = openSource();
    }
    if (opened.source && opened.source->Format() != info.format) {
        opened.source.reset();  // the file is not what its header said
    }
    return opened;
}

void StreamDecoder::DecodeAhead()
{
    ApplySeek();
    const std::uint64_t heard = state.PlayedBytes();
    const std::uint64_t kept = KeptFrom(heard, keptBehindBytes);
    // Told first, so that a seek there meanwhile is served by opening the source again.
    const bool dropping = state.NoteHeldFrom(kept);
    std::uint64_t end = 0;
    {
        std::lock_guard lock(queueMutex);
        if (dropping) {
            queue.DropBefore(kept);
        }
        end = queue.End();
    }
    if (!source || end >= heard + ScaleDown(info.format.BytesPerSecond(), kDecodeLowMarkMs, 1000)) {
        return;
    }
    const std::uint64_t ahead = ScaleDown(info.format.BytesPerSecond(), kDecodeAheadMs, 1000);
    while (end < heard + ahead && !stopRequested) {
        if (source->Read(chunk) != ReadResult::Data) {
            FinishSource(end);
            return;
        }
        const bool last = end + chunk.size() >= info.lengthBytes;
        if (last) {
            chunk.resize(static_cast<std::size_t>(info.lengthBytes - end));
        }
        {
            std::lock_guard lock(queueMutex);
            queue.Append(std::move(chunk));
            // Decoding up to a place sought far ahead holds no more than the
            // stretch behind it.
            if (dropping) {
                queue.DropBefore(kept);
            }
            end = queue.End();
        }
        if (!state.NoteDecoded(end)) {
            return;  // what comes next is decoded from the new place
        }
        if (last) {
            FinishSource(end);
            return;
        }
    }
}

// Held already (at or after the first byte held), the new place is played
// from the queue, which keeps what it holds before it for the next seek back,
// and decoding goes on from its end as before. Before it, the source is
// opened again and decoded from its start to there.
void StreamDecoder::ApplySeek()
{
    const std::optional<SeekRequest> seek = state.TakeSeek();
    if (!seek) {
        return;
    }
    bool held = false;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    {
        std::lock_guard lock(queueMutex);
        held = seek->target >= queue.Begin();
        if (!held) {
            queue.Reset(seek->sourceStart);
        }
        begin = queue.Begin();
        end = queue.End();
    }
    SeekServed how = SeekServed::FromQueue;
    if (!held) {
        source = OpenSource().source;
        how = source ? SeekServed::FromSourceAgain : SeekServed::Unreadable;
    }
    state.NoteSeekServed(seek->target, how, begin, end);
}

void StreamDecoder::FinishSource(std::uint64_t end)
{
    source.reset();
    state.NoteSourceEnded(end);
}
