// EncryptString and DecryptString on 1 MiB, to set beside
// `openssl speed -provider legacy -provider default -evp bf-cbc` (16384 bytes).
#include "cipher/clsBlowfish.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr std::size_t MiB = 1 << 20;
const std::string Key = "a benchmark key of 33 characters!";

std::string RandomText(std::size_t n) {
    std::mt19937 random(1);
    std::string text(n, '\0');
    for (auto& c : text) c = static_cast<char>(random());
    return text;
}

void BM_EncryptString(benchmark::State& state) {
    kestrune::clsBlowfish cipher;
    const std::string plain = RandomText(MiB);
    for (auto _ : state) {
        std::string enciphered = cipher.EncryptString(plain, Key);
        benchmark::DoNotOptimize(enciphered.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MiB));
}
BENCHMARK(BM_EncryptString);

void BM_DecryptString(benchmark::State& state) {
    kestrune::clsBlowfish cipher;
    const std::string enciphered = cipher.EncryptString(RandomText(MiB), Key);
    for (auto _ : state) {
        std::string plain = cipher.DecryptString(enciphered, Key);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MiB));
}
BENCHMARK(BM_DecryptString);

// The chained enciphering loop alone, with box 1's index taken portably and
// (where the processor has it) with BEXTR: the difference is the dispatch's gain.
template <class Index>
void BM_EncipherChain(benchmark::State& state) {
    namespace bf = kestrune::blowfish;
    bf::Tables tables{};
    bf::LoadInitialTables(tables, bf::Variant::Kestrune);
    bf::ScheduleKey(tables, Key, bf::Variant::Kestrune);
    std::string data = RandomText(MiB);
    auto* bytes = reinterpret_cast<std::uint8_t*>(data.data());
    for (auto _ : state) {
        bf::EncipherChain<Index>(tables, bytes, data.size(), [](std::size_t) {});
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * MiB));
}
BENCHMARK(BM_EncipherChain<kestrune::blowfish::PortableIndex>);
#ifdef KESTRUNE_BLOWFISH_BEXTR
void BM_EncipherChainBextr(benchmark::State& state) {
    if (!kestrune::blowfish::HasBextr()) {
        state.SkipWithError("the processor has no BEXTR");
        return;
    }
    BM_EncipherChain<kestrune::blowfish::BextrIndex>(state);
}
BENCHMARK(BM_EncipherChainBextr);
#endif

// What a change of key costs: the schedule's 521 block encryptions.
void BM_KeyChange(benchmark::State& state) {
    kestrune::clsBlowfish cipher;
    int i = 0;
    for (auto _ : state) cipher.Key(++i % 2 ? "first key" : "second key");
}
BENCHMARK(BM_KeyChange);

}  // namespace

BENCHMARK_MAIN();
