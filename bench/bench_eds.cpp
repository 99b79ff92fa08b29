// The EDS reader on a large file: 10,000 parameters, each with a path, limits, scaling and an
// enumeration, in groups of 100. The goal is under 50 ms for the whole file.

#include "eds/Reader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

std::string LargeEds(int params)
{
    std::string text = "[File]\nDescText = \"a large device\";\nRevision = 1.0;\n"
                       "[Device]\nVendCode = 1207; ProdType = 12; ProdCode = 4201; MajRev = 1; MinRev = 4;\n"
                       "ProdName = \"Large\";\n[Params]\n";
    for (int n = 1; n <= params; ++n) {
        const std::string number = std::to_string(n);
        char instance[4];
        std::snprintf(instance, sizeof instance, "%02X", n % 250 + 1);
        text += "Param" + number + " =\n  0,                $ reserved\n  6, \"20 40 24 " + instance + " 30 03\",\n  0x0006, 0xC7, 2,\n  \"Parameter " + number +
                "\",\n  \"ms\",\n  \"The help of parameter \" \"" + number +
                "\",\n  0, 60000, 100,\n  10, 1, 1, 0,\n  0, 0, 0, 0,\n  1;\n";
    }
    text += "[EnumPar]\n";
    for (int n = 1; n <= params; ++n) {
        text += "Enum" + std::to_string(n) + " = 0, \"off\", 100, \"low\", 60000, \"high\";\n";
    }
    text += "[Groups]\n";
    for (int g = 0; g < params / 100; ++g) {
        text += "Group" + std::to_string(g + 1) + " = \"Group " + std::to_string(g + 1) + "\", 100";
        for (int m = 1; m <= 100; ++m) {
            text += ", " + std::to_string(g * 100 + m);
        }
        text += ";\n";
    }
    return text;
}

void ReadLargeEds(benchmark::State& state)
{
    const std::string text = LargeEds(static_cast<int>(state.range(0)));
    orv::eds::Eds eds;
    orv::eds::Error error;
    for (auto _ : state) {
        if (!orv::eds::ReadEds(text, eds, error)) {
            state.SkipWithError(error.Text().c_str());
            break;
        }
        benchmark::DoNotOptimize(eds.params.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["params"] = static_cast<double>(eds.params.size());
}
BENCHMARK(ReadLargeEds)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
