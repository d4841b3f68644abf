// Checksum speed (bench/compare.sh sets it beside the cksum program), and
// the codec on a 64 KiB document.
#include "common/modGen.h"
#include "container/modConvert.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t kLarge = std::size_t{16} << 20;

// The checksum's input: the file KESTRUNE_BENCH_DATA names (compare.sh hands
// cksum the same file), else 16 MiB from a fixed seed.
const std::string& BenchData() {
    static const std::string data = [] {
        if (const char* path = std::getenv("KESTRUNE_BENCH_DATA")) {
            std::ifstream in(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        std::mt19937_64 generator(42);
        std::string bytes(kLarge, '\0');
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            const auto word = generator();
            for (int k = 0; k < 8; ++k) bytes[i + k] = static_cast<char>(word >> (8 * k));
        }
        return bytes;
    }();
    return data;
}

void BM_ContainerChecksum(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    if (BenchData().size() < size) {
        state.SkipWithError("the data file is smaller than the benchmark's size");
        return;
    }
    const std::string_view data = std::string_view(BenchData()).substr(0, size);
    std::uint32_t crc = 0;
    for (auto _ : state) {
        crc = modConvert::ContainerChecksumValue(data);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    // What cksum prints for the same bytes, so the comparison can check it.
    state.SetLabel("cksum " + std::to_string(crc));
}
BENCHMARK(BM_ContainerChecksum)->Arg(64 << 10)->Arg(16 << 20);

// The one-table loop of the checksum's definition, for comparison.
void BM_ChecksumByteAtATime(benchmark::State& state) {
    modConvert::InitContainerCodec();
    const std::string& data = BenchData();
    for (auto _ : state) {
        std::uint32_t crc = 0;
        for (const char c : data) {
            crc = (crc << 8) ^ modConvert::CrcTable[((crc >> 24) ^ static_cast<unsigned char>(c)) & 0xFF];
        }
        for (std::uint64_t n = data.size(); n > 0; n >>= 8) {
            crc = (crc << 8) ^ modConvert::CrcTable[((crc >> 24) ^ n) & 0xFF];
        }
        benchmark::DoNotOptimize(~crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ChecksumByteAtATime);

// A 64 KiB document, within the reader's room.
std::string Document() {
    constexpr std::size_t kSize = 64 << 10;
    static_assert(kSize <= modConvert::ReaderRoom);
    std::string text;
    for (int i = 0; text.size() < kSize; ++i) {
        text += "<entry id=\"" + std::to_string(i) + "\">value " + std::to_string(i * 7919 % 1000) + "</entry>\n";
    }
    text.resize(kSize);
    return text;
}

void BM_XmlToBin(benchmark::State& state) {
    const std::string xml = Document();
    for (auto _ : state) benchmark::DoNotOptimize(modConvert::XmlToBin(xml));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(BM_XmlToBin)->Unit(benchmark::kMicrosecond);

void BM_ReadContainer(benchmark::State& state) {
    const std::string xml = Document();
    const std::string bin = modConvert::XmlToBin(xml);
    for (auto _ : state) benchmark::DoNotOptimize(modConvert::ReadContainer(bin));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(BM_ReadContainer)->Unit(benchmark::kMicrosecond);

// ReadContainer with the whole-file read in front of it, from the page cache.
void BM_ReadContainerFile(benchmark::State& state) {
    const std::string xml = Document();
    char path[] = "/tmp/kestrune-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("cannot create a temporary file");
        return;
    }
    ::close(fd);
    const std::string bin = modConvert::XmlToBin(xml);
    std::ofstream(path, std::ios::binary).write(bin.data(), static_cast<std::streamsize>(bin.size()));
    for (auto _ : state) benchmark::DoNotOptimize(modConvert::ReadContainer(modGen::ReadWholeFile(path)));
    ::unlink(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(BM_ReadContainerFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
