// Checksum speed next to the cksum program, and the codec on a full-room document.
#include "container/modConvert.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t kLarge = std::size_t{16} << 20;

const std::string& RandomData() {
    static const std::string data = [] {
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
    const std::string_view data = std::string_view(RandomData()).substr(0, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(modConvert::ContainerChecksumValue(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ContainerChecksum)->Arg(64 << 10)->Arg(16 << 20);

// The one-table loop of the checksum's definition, for comparison.
void BM_ChecksumByteAtATime(benchmark::State& state) {
    modConvert::InitContainerCodec();
    const std::string& data = RandomData();
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

// The cksum program on the same 16 MiB, read from the page cache; includes
// starting the process; timed by the clock, since the work is in the child.
void BM_CksumProgram(benchmark::State& state) {
    char path[] = "/tmp/kestrune-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("cannot create a temporary file");
        return;
    }
    ::close(fd);
    std::ofstream(path, std::ios::binary).write(RandomData().data(), static_cast<std::streamsize>(kLarge));
    const std::string command = std::string("cksum ") + path;
    for (auto _ : state) {
        FILE* pipe = ::popen(command.c_str(), "r");
        unsigned long crc = 0;
        if (pipe == nullptr || std::fscanf(pipe, "%lu", &crc) != 1) state.SkipWithError("cksum did not run");
        if (pipe != nullptr) ::pclose(pipe);
        benchmark::DoNotOptimize(crc);
    }
    ::unlink(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLarge));
}
BENCHMARK(BM_CksumProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

std::string FullRoomXml() {
    std::string text;
    for (int i = 0; text.size() < modConvert::ReaderRoom; ++i) {
        text += "<entry id=\"" + std::to_string(i) + "\">value " + std::to_string(i * 7919 % 1000) + "</entry>\n";
    }
    text.resize(modConvert::ReaderRoom);
    return text;
}

void BM_XmlToBin(benchmark::State& state) {
    const std::string xml = FullRoomXml();
    for (auto _ : state) benchmark::DoNotOptimize(modConvert::XmlToBin(xml));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(BM_XmlToBin)->Unit(benchmark::kMicrosecond);

class SilentUserInterface : public kestrune::UserInterface {
protected:
    void DoShowMessage(const std::string&, kestrune::MessageIcon, const std::string&) override {}
    std::string DoChooseFileToOpen(const std::string&, const std::string&) override { return {}; }
    std::string DoAskForText(const std::string&, const std::string&) override { return {}; }
};

void BM_BytesToXml(benchmark::State& state) {
    const std::string xml = FullRoomXml();
    const std::string bin = modConvert::XmlToBin(xml);
    SilentUserInterface ui;
    for (auto _ : state) benchmark::DoNotOptimize(modConvert::BytesToXml(bin, ui));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(BM_BytesToXml)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
