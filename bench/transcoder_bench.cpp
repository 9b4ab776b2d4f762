// The WTF-8 transcoder's throughput both ways, on the kinds of text environments hold.
#include "wtf8.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// About 4 Ki units of each kind of text.
std::u16string sample(int kind) {
    const char16_t* const pieces[] = {
        u"/usr/local/bin:/usr/bin:",                          // ASCII
        u"Caf\u00e9 cr\u00e8me br\u00fbl\u00e9e, na\u00efve ",  // mixed Latin
        u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440 ",  // Cyrillic
        u"\u4f60\u597d\u4e16\u754c\u6f22\u5b57",              // CJK
    };
    std::u16string text;
    while (text.size() < 4096) {
        text += pieces[kind];
    }
    return text;
}

const char* const kKinds[] = {"ascii", "latin", "cyrillic", "cjk"};

void encode(benchmark::State& state) {
    std::u16string text = sample(static_cast<int>(state.range(0)));
    std::vector<char> bytes(text.size() * kWtf8MaxBytesPerUnit);
    size_t length = 0;
    for (auto _ : state) {
        length = wtf8Encode(reinterpret_cast<const uint16_t*>(text.data()), text.size(), bytes.data());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetLabel(kKinds[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));  // WTF-8 bytes written
}

void decode(benchmark::State& state) {
    std::u16string text = sample(static_cast<int>(state.range(0)));
    std::vector<char> bytes(text.size() * kWtf8MaxBytesPerUnit);
    bytes.resize(wtf8Encode(reinterpret_cast<const uint16_t*>(text.data()), text.size(), bytes.data()));
    std::vector<uint16_t> units(bytes.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(wtf8Decode(bytes.data(), bytes.size(), units.data()));
    }
    state.SetLabel(kKinds[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));  // WTF-8 bytes read
}

BENCHMARK(encode)->DenseRange(0, 3);
BENCHMARK(decode)->DenseRange(0, 3);

}  // namespace

BENCHMARK_MAIN();
