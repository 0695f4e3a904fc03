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

std::uint64_t StreamDecoder::HeldEnd()
{
    std::lock_guard lock(queueMutex);
    return queue.End();
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
    // Told first, so that a seek there meanwhile is served by opening the source again.
    const std::optional<std::uint64_t> kept = state.NoteKeptFrom(keptBehindBytes);
    const std::uint64_t heard = state.PlayedBytes();
    std::uint64_t end = 0;
    {
        std::lock_guard lock(queueMutex);
        if (kept) {
            queue.DropBefore(*kept);
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
            if (kept) {
                queue.DropBefore(*kept);
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

// The state judged whether the new place is held. Held, or ahead of what is
// decoded, it is played from the queue, which keeps what it holds before it
// for the next seek back, and decoding goes on from its end as before, if
// there is a source to decode. Otherwise the source is opened again and
// decoded from its start to there.
void StreamDecoder::ApplySeek()
{
    const std::optional<SeekRequest> seek = state.TakeSeek();
    if (!seek) {
        return;
    }
    const std::uint64_t held = HeldEnd();
    if (!seek->reopen && (source || seek->target < held)) {
        state.NoteSeekServed(seek->target, SeekServed::FromQueue, 0, held);
        return;
    }
    const std::uint64_t begin = seek->sourceStart;
    {
        std::lock_guard lock(queueMutex);
        queue.Reset(begin);
    }
    source = OpenSource().source;
    state.NoteSeekServed(seek->target, source ? SeekServed::FromSourceAgain : SeekServed::Unreadable, begin, begin);
}

void StreamDecoder::FinishSource(std::uint64_t end)
{
    source.reset();
    state.NoteSourceEnded(end);
}
