#include "capture/frame_writer_thread.h"

#include <objbase.h>

#include <chrono>
#include <system_error>
#include <utility>

FrameWriterThread::FrameWriterThread(FrameSink sink, std::size_t buffers) : sink(std::move(sink)), spare(buffers)
{
}

FrameWriterThread::~FrameWriterThread()
{
    // A refusal is for the owner to ask Finish or Drop about.
    static_cast<void>(Drop());
}

std::optional<std::string> FrameWriterThread::Start()
{
    try {
        thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return "cannot start the thread that writes the frames";
    }
    return std::nullopt;
}

std::optional<std::string> FrameWriterThread::Push(const CapturedFrame& frame)
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return refusal || !spare.empty(); });
    if (refusal) {
        return refusal;
    }
    Pending pending{std::move(spare.back()), frame.width, frame.height, frame.index};
    spare.pop_back();
    lock.unlock();

    // The copy is made outside the lock: the writer may be busy meanwhile.
    PackFrameRows(frame, pending.bytes);

    lock.lock();
    queued.push_back(std::move(pending));
    changed.notify_all();
    return std::nullopt;
}

std::optional<std::string> FrameWriterThread::Finish()
{
    {
        std::lock_guard lock(mutex);
        finishing = true;
        changed.notify_all();
    }
    if (thread.joinable()) {
        thread.join();
    }
    return refusal;
}

std::optional<std::string> FrameWriterThread::Drop()
{
    {
        std::lock_guard lock(mutex);
        for (Pending& pending : queued) {
            spare.push_back(std::move(pending.bytes));
        }
        queued.clear();
    }
    return Finish();
}

std::uint64_t FrameWriterThread::Written()
{
    std::lock_guard lock(mutex);
    return written;
}

double FrameWriterThread::WritingSeconds()
{
    std::lock_guard lock(mutex);
    return writingSeconds;
}

void FrameWriterThread::Run()
{
    // Sinks may use COM (the PNG encoder).
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return finishing || !queued.empty(); });
        if (queued.empty()) {
            break;
        }
        Pending pending = std::move(queued.front());
        queued.pop_front();
        lock.unlock();

        const auto start = std::chrono::steady_clock::now();
        std::optional<std::string> problem;
        // An exception leaving this thread would end the process with the
        // output half written. Ours throw only when memory runs out.
        try {
            problem = sink(CapturedFrame{.pixels = pending.bytes.data(),
                                         .rowPitch = pending.width * 4,
                                         .width = pending.width,
                                         .height = pending.height,
                                         .index = pending.index});
        } catch (...) {
            problem.emplace("out of memory");  // short enough to need no allocation itself
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        lock.lock();
        writingSeconds += seconds;
        spare.push_back(std::move(pending.bytes));
        if (problem) {
            refusal = std::move(problem);
            queued.clear();
            changed.notify_all();
            break;
        }
        ++written;
        changed.notify_all();
    }
    lock.unlock();
    if (com) {
        CoUninitialize();
    }
}
