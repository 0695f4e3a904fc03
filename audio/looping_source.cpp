#include "audio/looping_source.h"

#include <algorithm>
#include <utility>

namespace {

// Silence that fills a short pass is handed over in pieces of this size.
constexpr std::uint64_t kSilenceStepBytes = 64 * 1024;

class LoopingSource final : public PcmSource {
public:
    LoopingSource(SourceOpener open, std::uint64_t passBytes, std::unique_ptr<PcmSource> first)
        : open(std::move(open)), passBytes(passBytes), format(first->Format()), current(std::move(first))
    {
    }

    PcmFormat Format() const override { return format; }

    ReadResult Read(std::vector<std::uint8_t>& chunk) override
    {
        chunk.clear();
        if (inPass == passBytes) {
            // The next pass, from the start of a freshly opened source.
            current = open().source;
            inPass = 0;
            sourceEnded = false;
            if (!current || current->Format() != format) {
                return ReadResult::End;
            }
        }
        if (!sourceEnded) {
            const ReadResult result = current->Read(chunk);
            if (result == ReadResult::Error) {
                return ReadResult::Error;
            }
            if (result == ReadResult::Data) {
                chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), passBytes - inPass)));
                inPass += chunk.size();
                return ReadResult::Data;
            }
            // Nothing in a whole pass: looping it would only spin.
            if (inPass == 0) {
                return ReadResult::End;
            }
            sourceEnded = true;
        }
        // Short of its stated length: silence to the end of the pass.
        const std::uint64_t left = passBytes - inPass;
        chunk.assign(static_cast<std::size_t>(std::min(left, kSilenceStepBytes)), 0);
        inPass += chunk.size();
        return ReadResult::Data;
    }

private:
    const SourceOpener open;
    const std::uint64_t passBytes;
    const PcmFormat format;
    std::unique_ptr<PcmSource> current;
    std::uint64_t inPass = 0;
    bool sourceEnded = false;
};

}  // namespace

SourceOpener LoopingOpener(SourceOpener open, std::uint64_t passBytes)
{
    return [open = std::move(open), passBytes]() -> OpenedSource {
        OpenedSource first = open();
        if (!first.source || passBytes == 0) {
            return first;
        }
        return {.source = std::make_unique<LoopingSource>(open, passBytes, std::move(first.source))};
    };
}
