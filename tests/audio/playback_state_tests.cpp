// The state a stream's callers and threads share, driven alone, as each
// thread would, in an order the threads leave to chance.
#include "audio/playback_state.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace {

// What a thread notes of a place the stream was sent away from meanwhile
// counts for nothing: the position stands at the newer place, stalled, until
// decoding reaches it, and the device's readings of the old place are not
// taken.
TEST(PlaybackState, WhatIsNotedOfAPlaceLeftMeanwhileCountsForNothing)
{
    TestClock clock;
    PlaybackState state({.format = {.sampleRate = 1000, .channels = 1}, .lengthBytes = 20'000},
                        AudioOutput::DefaultDevice, clock.Reader());
    ASSERT_TRUE(state.CanRun());
    state.Start();
    ASSERT_TRUE(state.NoteDecoded(8'000));
    const DeviceStart start = state.PrepareDevice();
    state.NoteDeviceTookOver(start.from, 8'000);
    for (std::uint64_t frames = 0; frames <= 500; frames += 10) {
        state.NoteDeviceReading(DevicePosition{.frames = frames, .time = clock.Now()});
        clock.Advance(10 * kMs);
    }
    const std::uint64_t reached = state.PlayedBytes();
    ASSERT_GT(reached, 900u);
    const auto expectStalledAt = [&](std::uint64_t place) {
        clock.Advance(100 * kMs);
        EXPECT_EQ(state.PlayedBytes(), place);
        EXPECT_EQ(state.Status(), StreamActivity::Stalled);
    };

    // Sent 10 ms back while the device plays on: a stretch decoded of the
    // old place meanwhile is not taken, and once the seek is served from the
    // queue, nor is the device's reading until it is fed from the new place.
    const std::uint64_t back = reached - 20;
    state.Seek(back, 0);
    EXPECT_FALSE(state.NoteDecoded(9'000));
    expectStalledAt(back);
    const std::optional<SeekRequest> served = state.TakeSeek();
    ASSERT_TRUE(served);
    state.NoteSeekServed(served->target, SeekServed::FromQueue, 9'000);
    state.NoteDeviceReading(DevicePosition{.frames = reached / 2 + 100, .time = clock.Now()});
    clock.Advance(100 * kMs);
    EXPECT_EQ(state.PlayedBytes(), back);

    // Sent on while the decoding thread served the seek before.
    state.Seek(4'000, 0);
    const std::optional<SeekRequest> overtaken = state.TakeSeek();
    ASSERT_TRUE(overtaken);
    state.Seek(6'000, 0);
    state.NoteSeekServed(overtaken->target, SeekServed::FromQueue, 9'000);
    expectStalledAt(6'000);
}

}  // namespace
