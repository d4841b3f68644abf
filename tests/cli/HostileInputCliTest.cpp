// Damaged inputs through the real fix run: the sample container, an
// enciphered and a plain fix, each cut to every length and with single bits
// flipped. Whatever the damage, kestrune-cli ends by itself with 0 or 1, and
// a run that did not succeed leaves the configuration as it was.
#include "container/modConvert.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <random>

using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::RunCli;
using kestrune::test::Source;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
// Each run is several times slower under the sanitizers: every 16th case.
constexpr std::size_t Stride = 16;
#else
constexpr std::size_t Stride = 1;
#endif
// Bit flips are sampled: this many per input, from a fixed seed.
constexpr std::size_t Flips = 600 / Stride;
constexpr std::uint32_t FlipSeed = 20260611;

struct Damaged {
    std::string bytes;
    std::string what;
};

std::vector<Damaged> Truncations(const std::string& good) {
    std::vector<Damaged> cases;
    for (std::size_t size = 0; size < good.size(); size += Stride) {
        cases.push_back({good.substr(0, size), "cut to " + std::to_string(size) + " bytes"});
    }
    return cases;
}

// Distinct bits, drawn by a partial Fisher-Yates shuffle on mt19937, whose
// output the standard fixes, so the sample is the same everywhere.
std::vector<Damaged> BitFlips(const std::string& good, std::size_t count) {
    std::vector<std::size_t> bits(good.size() * 8);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = i;
    std::mt19937 random(FlipSeed);
    count = std::min(count, bits.size());
    std::vector<Damaged> cases;
    for (std::size_t i = 0; i < count; ++i) {
        std::swap(bits[i], bits[i + random() % (bits.size() - i)]);
        std::string bytes = good;
        bytes[bits[i] / 8] = static_cast<char>(bytes[bits[i] / 8] ^ (1 << (bits[i] % 8)));
        cases.push_back({bytes, "bit " + std::to_string(bits[i]) + " flipped"});
    }
    return cases;
}

class HostileInput : public ::testing::Test {
protected:
    // Runs the fix on config (named configName) with the one fix fixBytes
    // (named fixName) and the sample WEP fix beside it.
    void Run(const std::string& configName, const std::string& config, const std::string& fixName,
             const std::string& fix, const std::string& what) {
        SCOPED_TRACE(what);
        for (const auto& dir : {configDir.path(), fixDir.path()}) {
            for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
        }
        WriteFile(fixDir / fixName, fix);
        WriteFile(fixDir / "fix.wep", Source("fixes/fix.wep"));
        const std::string path = configDir / configName;
        WriteFile(path, config);

        const auto r = RunCli({"fix", path, "--fix-dir", fixDir.path().string()}, {}, 20);

        ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << "exit " << r.exitCode << "\n" << r.err;
        ++(r.exitCode == 0 ? succeeded : failed);
        const std::string after = ReadFile(path);
        if (r.exitCode == 1) {
            EXPECT_TRUE(after == config) << "a failed run changed the configuration\n" << r.err;
        } else if (configName.ends_with(".bin")) {
            EXPECT_EQ(modConvert::ReadContainer(after).status, modConvert::ReadStatus::Decompressed);
        }
        for (const auto& name : ListFolder(configDir.path())) {
            EXPECT_TRUE(name == configName || name.ends_with(".bak")) << name;
        }
    }

    void TearDown() override {
        std::cout << "[ matrix   ] " << succeeded + failed << " runs: " << succeeded << " fixed, " << failed
                  << " refused\n";
    }

    TempDir configDir;
    TempDir fixDir;
    int succeeded = 0;
    int failed = 0;
};

const char* const PlainFix = "fix_ntp.txt";
const char* const EncipheredFix = "public_dns.fix";

TEST_F(HostileInput, ContainerCutToEveryLength) {
    for (const auto& c : Truncations(Source("samples/router.bin"))) {
        Run("router.bin", c.bytes, PlainFix, Source("fixes/fix_ntp.txt"), c.what);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HostileInput, ContainerWithABitFlipped) {
    for (const auto& c : BitFlips(Source("samples/router.bin"), Flips * 2)) {
        Run("router.bin", c.bytes, PlainFix, Source("fixes/fix_ntp.txt"), c.what);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HostileInput, EncipheredFixCutToEveryLength) {
    for (const auto& c : Truncations(Source("fixes/public_dns.fix"))) {
        Run("router.bin", Source("samples/router.bin"), EncipheredFix, c.bytes, c.what);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HostileInput, EncipheredFixWithABitFlipped) {
    for (const auto& c : BitFlips(Source("fixes/public_dns.fix"), Flips)) {
        Run("router.bin", Source("samples/router.bin"), EncipheredFix, c.bytes, c.what);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HostileInput, PlainFixCutToEveryLength) {
    for (const auto& c : Truncations(Source("fixes/fix_ntp.txt"))) {
        Run("router.xml", Source("samples/router.xml"), PlainFix, c.bytes, c.what);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HostileInput, PlainFixWithABitFlipped) {
    for (const auto& c : BitFlips(Source("fixes/fix_ntp.txt"), Flips)) {
        Run("router.xml", Source("samples/router.xml"), PlainFix, c.bytes, c.what);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
