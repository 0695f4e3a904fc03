#include "audio/audio_library.h"

#include "audio/audio_file_probe.h"
#include "audio/file_sources.h"
#include "audio/looping_source.h"
#include "audio/readable_file.h"
#include "audio/whole_file_decoder.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

double SecondsOf(std::uint64_t bytes, const PcmFormat& format)
{
    return static_cast<double>(bytes) / static_cast<double>(format.BytesPerSecond());
}

}  // namespace

AudioLibrary::AudioLibrary(DeviceProbe probe, DeviceOpener opener, MicrosecondClock time, std::uint64_t keptBehind)
    : hasDefaultDevice(probe), openDevice(std::move(opener)), clock(std::move(time)), keptBehindBytes(keptBehind)
{
}

bool AudioLibrary::Init(int device)
{
    std::unique_lock lock(mutex);
    // After the end at exit nothing starts again: its streams would outlive it.
    if (initialised || ended) {
        return false;
    }
    switch (device) {
    case -1:
        // Whether there is a device is found out when playback starts, and
        // again whenever the device goes: asking now would only slow the start.
        output = AudioOutput::DefaultDevice;
        break;
    case 0:
        output = AudioOutput::Silent;
        break;
    case 1: {
        // Asked without the lock: the system may take its time to answer.
        lock.unlock();
        const bool found = hasDefaultDevice();
        lock.lock();
        if (!found || initialised || ended) {
            return false;
        }
        output = AudioOutput::DefaultDevice;
        break;
    }
    default:
        return false;
    }
    initialised = true;
    return true;
}

bool AudioLibrary::Free()
{
    std::vector<std::shared_ptr<Playback>> freed;
    {
        std::lock_guard lock(mutex);
        if (!initialised) {
            return false;
        }
        freed = TakeStreamsLocked();
    }
    // Without the lock: each waits for its threads, which may be inside a
    // device call; all are asked first, so that they end side by side. The
    // handles go on counting up, so an old one never names a new stream.
    for (const auto& playback : freed) {
        playback->RequestStop();
    }
    for (const auto& playback : freed) {
        playback->Stop();
    }
    std::lock_guard lock(mutex);
    std::erase_if(ending, [&](const auto& playback) { return std::ranges::count(freed, playback) > 0; });
    return true;
}

void AudioLibrary::EndAtExit(DWORD waitMs)
{
    if (ended.exchange(true)) {
        return;
    }
    std::vector<std::shared_ptr<Playback>> left;
    {
        std::lock_guard lock(mutex);
        TakeStreamsLocked();
        left = ending;
    }
    // Never joined here: a thread's own end waits for the loader's lock,
    // which a thread inside a DLL's start-up holds.
    for (const auto& playback : left) {
        playback->RequestStop();
    }
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (const auto& playback : left) {
        const ULONGLONG now = GetTickCount64();
        playback->WaitStopped(now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    }
}

std::vector<std::shared_ptr<Playback>> AudioLibrary::TakeStreamsLocked()
{
    initialised = false;
    std::vector<std::shared_ptr<Playback>> taken;
    for (auto& [handle, stream] : streams) {
        taken.push_back(stream.playback);
    }
    streams.clear();
    ending.insert(ending.end(), taken.begin(), taken.end());
    return taken;
}

void AudioLibrary::Abandon()
{
    ended = true;
}

std::uint32_t AudioLibrary::CreateStream(const std::wstring& path, bool loop)
{
    AudioOutput chosen = AudioOutput::Silent;
    {
        std::lock_guard lock(mutex);
        if (!initialised || lastHandle == UINT32_MAX) {
            return 0;
        }
        chosen = output;
    }
    const std::wstring fullPath = ResolveReadableFile(path);
    if (fullPath.empty()) {
        return 0;
    }
    // A file whose header tells its layout streams from it. Any other is
    // decoded whole by Media Foundation now, as before: its decoder is not
    // left running, since under Wine its threads crash the process's exit.
    // Other calls go on meanwhile.
    SourceOpener opener;
    StreamInfo info;
    if (const std::optional<FileLayout> layout = ProbeAudioFile(fullPath)) {
        // Nothing is decoded here: the decoder is made and started on the
        // stream's own thread, so the caller's next frame does not wait for
        // it. A stream whose first piece does not decode ends at once; one
        // that no decoder on the system takes plays silently for its length.
        opener = [fullPath, file = *layout] { return OpenFileSource(fullPath, file); };
        info = layout->info;
    } else {
        // Without Media Foundation (Windows' N editions) this fails, and so does the call.
        auto audio = std::make_shared<PcmAudio>();
        if (!DecodeAudioFile(fullPath, *audio)) {
            return 0;
        }
        opener = [audio] { return OpenedSource{.source = MakeMemorySource(audio)}; };
        info = {.format = audio->format, .lengthBytes = audio->bytes.size()};
    }
    Stream stream;
    if (loop && info.format.IsValid()) {
        // The playback never ends; its position is taken modulo one pass.
        stream.loopBytes = info.lengthBytes - info.lengthBytes % info.format.BlockAlign();
        if (stream.loopBytes > 0) {
            opener = LoopingOpener(std::move(opener), stream.loopBytes);
            info.lengthBytes = kLoopingStreamBytes;
        }
    }
    stream.playback = std::make_shared<Playback>(std::move(opener), info, chosen, openDevice, clock, keptBehindBytes);
    std::lock_guard lock(mutex);
    // Freed or ended at exit meanwhile: the stream is refused, and ends here.
    if (!initialised || lastHandle == UINT32_MAX) {
        return 0;
    }
    const std::uint32_t handle = ++lastHandle;
    streams.emplace(handle, std::move(stream));
    return handle;
}

std::optional<AudioLibrary::Stream> AudioLibrary::Find(std::uint32_t handle)
{
    std::lock_guard lock(mutex);
    const auto found = streams.find(handle);
    if (found == streams.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool AudioLibrary::Start(std::uint32_t handle)
{
    return Play(handle, false);
}

std::optional<std::uint64_t> AudioLibrary::PlayedBytes(std::uint32_t handle)
{
    const std::optional<Stream> stream = Find(handle);
    if (!stream) {
        return std::nullopt;
    }
    // A looping stream's playback counts on through the passes, never back.
    const std::uint64_t played = stream->playback->PlayedBytes();
    return stream->loopBytes > 0 ? played % stream->loopBytes : played;
}

std::optional<std::uint64_t> AudioLibrary::LengthBytes(std::uint32_t handle)
{
    const std::optional<Stream> stream = Find(handle);
    if (!stream) {
        return std::nullopt;
    }
    return stream->loopBytes > 0 ? stream->loopBytes : stream->playback->LengthBytes();
}

std::optional<double> AudioLibrary::BytesToSeconds(std::uint32_t handle, std::uint64_t bytes)
{
    const std::optional<Stream> stream = Find(handle);
    if (!stream) {
        return std::nullopt;
    }
    return SecondsOf(bytes, stream->playback->Format());
}

std::optional<std::uint64_t> AudioLibrary::SecondsToBytes(std::uint32_t handle, double seconds)
{
    const std::optional<Stream> stream = Find(handle);
    if (!stream || !(seconds >= 0.0) || stream->playback->Format().BlockAlign() == 0) {
        return std::nullopt;
    }
    const PcmFormat& format = stream->playback->Format();
    // Past the last frame whose bytes, and the next one's, fit a QWORD there
    // is no answer (infinity among them).
    const auto mostFrames = static_cast<double>(UINT64_MAX / format.BlockAlign() - 1);
    if (!(seconds * static_cast<double>(format.sampleRate) < mostFrames)) {
        return std::nullopt;
    }
    // The product rounds either way: the frame is the last whose time, as
    // BytesToSeconds gives it, is not after `seconds`, so that a frame's
    // time converts back to that frame.
    auto frames = static_cast<std::uint64_t>(std::floor(seconds * static_cast<double>(format.sampleRate)));
    if (SecondsOf((frames + 1) * format.BlockAlign(), format) <= seconds) {
        ++frames;
    } else if (frames > 0 && SecondsOf(frames * format.BlockAlign(), format) > seconds) {
        --frames;
    }
    return frames * format.BlockAlign();
}

bool AudioLibrary::Pause(std::uint32_t handle)
{
    const std::optional<Stream> stream = Find(handle);
    return stream && stream->playback->Pause();
}

bool AudioLibrary::Play(std::uint32_t handle, bool restart)
{
    const std::optional<Stream> stream = Find(handle);
    if (!stream) {
        return false;
    }
    if (restart && !SetPosition(handle, 0)) {
        return false;
    }
    // Paused, or stopped where a seek sent it, it goes on from there; not
    // started, it starts; one that plays plays on.
    if (!stream->playback->Resume()) {
        stream->playback->Start();
    }
    return true;
}

bool AudioLibrary::SetPosition(std::uint32_t handle, std::uint64_t bytes)
{
    const std::optional<Stream> stream = Find(handle);
    if (!stream) {
        return false;
    }
    Playback& playback = *stream->playback;
    const std::uint64_t length = stream->loopBytes > 0 ? stream->loopBytes : playback.LengthBytes();
    const std::uint32_t blockAlign = playback.Format().BlockAlign();
    if (blockAlign == 0 || bytes >= length) {
        return false;
    }
    bytes -= bytes % blockAlign;
    if (stream->loopBytes == 0) {
        playback.Seek(bytes);
        return true;
    }
    // The playback counts on through the passes: the new place is in the pass it plays.
    const std::uint64_t played = playback.PlayedBytes();
    const std::uint64_t passStart = played - played % stream->loopBytes;
    playback.Seek(passStart + bytes, passStart);
    return true;
}

Playback::Activity AudioLibrary::Activity(std::uint32_t handle)
{
    const std::optional<Stream> stream = Find(handle);
    return !stream ? Playback::Activity::Stopped : stream->playback->Status();
}
