// The monitor's decoder: frames decoded per second, for a dnet-like conversation (allocation,
// fragmented reads with acknowledgements, fragmented polls) and text formatting of the result.

#include "tools/dnet/monitor/Decoder.h"
#include "tools/dnet/monitor/TextFormat.h"

#include "canbus/CandumpFormat.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace orv::dnet::monitor;

std::vector<TimedFrame> Conversation()
{
    static const char* kFrames[] = {
        "5FE#004B03010300", "5FB#00CB00",       "5FC#000E050208",       "5FB#008E0C00",
        "5FC#000E050207",   "5FB#008E1100",     "5FC#000E010107",       "5FB#80008E094272656C",
        "5FC#80C000",       "5FB#8081696E204757", "5FC#80C100",         "5FD#0048656C6C6F2C20",
        "5FD#81776F726C64", "3FF#0000000000000000", "3FF#4100000000000000", "3FF#82000000",
        "5FC#000E0101FF",   "5FB#009414FF",     "5FE#004C030103",       "5FB#00CC",
    };
    std::vector<TimedFrame> frames;
    std::uint64_t time = 0;
    for (const char* text : kFrames) {
        const auto entry = canbus::ParseCandumpLine(std::string("(0.000000) can0 ") + text);
        frames.push_back(TimedFrame{time += 100, entry->frame});
    }
    return frames;
}

void DecodeFrames(benchmark::State& state)
{
    const std::vector<TimedFrame> frames = Conversation();
    Decoder decoder;
    std::vector<Message> messages;
    std::uint64_t offset = 0;
    for (auto _ : state) {
        for (TimedFrame frame : frames) {
            frame.timeUs += offset;
            decoder.Feed(frame, messages);
        }
        offset += 2000;
        benchmark::DoNotOptimize(messages.data());
        messages.clear();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frames.size()));
}
BENCHMARK(DecodeFrames);

void DecodeAndFormatText(benchmark::State& state)
{
    const std::vector<TimedFrame> frames = Conversation();
    Decoder decoder;
    std::vector<Message> messages;
    std::uint64_t offset = 0;
    std::size_t characters = 0;
    for (auto _ : state) {
        for (TimedFrame frame : frames) {
            frame.timeUs += offset;
            decoder.Feed(frame, messages);
        }
        offset += 2000;
        for (const Message& message : messages) {
            characters += TextLine(message, 0).size();
        }
        messages.clear();
    }
    benchmark::DoNotOptimize(characters);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frames.size()));
}
BENCHMARK(DecodeAndFormatText);

} // namespace

BENCHMARK_MAIN();
