// The state a stream's callers and threads share, driven alone, as each
// thread would, in an order the threads leave to chance.
#include "audio/playback_state.h"
#include "tests/audio/playback_fakes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace {

// What a thread notes of a place the stream was sent away from meanwhile
// counts for nothing: the position stands at the newer place until the device
// is fed from there, and until decoding reaches it when it is not held, and
// the device's readings of the old place are not taken. A place held plays at
// once; what the queue lets go of is held no more, and nothing is let go
// while a seek waits, which may be for a place there.
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
    const auto expectStandsAt = [&](std::uint64_t place, StreamActivity activity) {
        clock.Advance(100 * kMs);
        EXPECT_EQ(state.PlayedBytes(), place);
        EXPECT_EQ(state.Status(), activity);
    };

    // Sent 10 ms back, into what is held, while the device plays on: a
    // stretch decoded meanwhile counts only once the seek is served from the
    // queue, and the device's reading not until it is fed from the new place.
    const std::uint64_t back = reached - 20;
    state.Seek(back, 0);
    EXPECT_FALSE(state.NoteDecoded(9'000));
    expectStandsAt(back, StreamActivity::Playing);
    const std::optional<SeekRequest> served = state.TakeSeek();
    ASSERT_TRUE(served);
    state.NoteSeekServed(served->target, SeekServed::FromQueue, 0, 9'000);
    EXPECT_EQ(state.Decoded().bytes, 9'000u);  // decoded meanwhile, and held: it counts once served
    state.NoteDeviceReading(DevicePosition{.frames = reached / 2 + 100, .time = clock.Now()});
    expectStandsAt(back, StreamActivity::Playing);

    // Sent before what is held, then on while the decoding thread serves
    // that seek: nothing is let go meanwhile.
    ASSERT_EQ(state.NoteKeptFrom(0), back);
    state.Seek(500, 0);
    expectStandsAt(500, StreamActivity::Stalled);
    const std::optional<SeekRequest> overtaken = state.TakeSeek();
    ASSERT_TRUE(overtaken);
    EXPECT_TRUE(overtaken->reopen);
    state.Seek(6'000, 0);
    EXPECT_FALSE(state.NoteKeptFrom(0));
    state.NoteSeekServed(overtaken->target, SeekServed::FromSourceAgain, 0, 0);
    expectStandsAt(6'000, StreamActivity::Stalled);

    // Sent past what is decoded while decoding stands, and back to a place
    // between: neither is held.
    state.NoteSeekServed(state.TakeSeek().value().target, SeekServed::FromSourceAgain, 0, 0);
    ASSERT_TRUE(state.NoteDecoded(8'000));
    state.Seek(12'000, 0);
    state.NoteSeekServed(state.TakeSeek().value().target, SeekServed::FromQueue, 0, 0);
    expectStandsAt(12'000, StreamActivity::Stalled);
    state.Seek(9'000, 0);
    expectStandsAt(9'000, StreamActivity::Stalled);
}

// Paused and resumed between two turns of the feeding thread, the device
// was never stopped nor started again: the position follows it on.
TEST(PlaybackState, ResumedBeforeTheDeviceStoppedFollowsItOn)
{
    TestClock clock;
    PlaybackState state({.format = {.sampleRate = 1000, .channels = 1}, .lengthBytes = 20'000},
                        AudioOutput::DefaultDevice, clock.Reader());
    state.Start();
    ASSERT_TRUE(state.NoteDecoded(8'000));
    state.NoteDeviceTookOver(state.PrepareDevice().from, 8'000);
    std::uint64_t frames = 0;
    const auto play = [&](int readings) {
        for (int i = 0; i < readings; ++i, frames += 10) {
            state.NoteDeviceReading(DevicePosition{.frames = frames, .time = clock.Now()});
            clock.Advance(10 * kMs);
        }
    };
    play(30);
    ASSERT_TRUE(state.Pause());
    ASSERT_TRUE(state.Resume());
    const std::uint64_t resumed = state.PlayedBytes();
    play(30);
    EXPECT_GT(state.PlayedBytes(), resumed + 400);
}

}  // namespace
