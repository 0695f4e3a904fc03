#pragma once

#include "capture/captured_frame.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Hands frames to a sink on a thread of its own, in order, so that writing
// one frame overlaps reading back the next. The frames are copied into a
// fixed number of buffers, so memory stays flat however long the capture.
class FrameWriterThread {
public:
    // Keeps its own copy of the sink, which the thread calls.
    FrameWriterThread(FrameSink sink, std::size_t buffers);
    // Drops what is still queued and ends the thread.
    ~FrameWriterThread();
    FrameWriterThread(const FrameWriterThread&) = delete;
    FrameWriterThread& operator=(const FrameWriterThread&) = delete;

    // Starts the thread; the problem when the system cannot make one.
    [[nodiscard]] std::optional<std::string> Start();
    // Copies the frame, waiting for a free buffer; the sink's problem once it
    // has refused a frame (nothing more is handed to it then).
    [[nodiscard]] std::optional<std::string> Push(const CapturedFrame& frame);
    // Waits until every pushed frame is written; the sink's problem when it
    // refused one.
    [[nodiscard]] std::optional<std::string> Finish();
    // Lets the frame being written finish, so that no file is left half
    // written, and drops the frames still queued; the sink's problem when it
    // refused one.
    [[nodiscard]] std::optional<std::string> Drop();

    std::uint64_t Written();
    double WritingSeconds();

private:
    struct Pending {
        std::vector<std::uint8_t> bytes;  // rows packed
        std::uint32_t width;
        std::uint32_t height;
        std::uint64_t index;
    };

    void Run();

    const FrameSink sink;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Pending> queued;
    std::vector<std::vector<std::uint8_t>> spare;
    bool finishing = false;
    std::optional<std::string> refusal;  // the sink's problem with a frame
    std::uint64_t written = 0;
    double writingSeconds = 0.0;
    std::thread thread;  // joined before the members it uses go
};
