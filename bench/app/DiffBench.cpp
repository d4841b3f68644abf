// kestrune-cli diff's work on the largest corpus configuration and a copy
// with the 500 settings that bench/compare.sh edits changed by the engine:
// parse both, compare, write the fix. The goal is under 20 ms.

#include "CorpusEdits.h"
#include "app/FixDiff.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

// The corpus file and its copy with the 500 edits, or why there are none.
struct Versions {
    std::string before, after, problem;
};

Versions MakeVersions() {
    Versions versions;
    const std::string file = kestrune::bench::CorpusFile();
    if (!std::filesystem::exists(file)) return {{}, {}, "the router corpus is not beside the project"};
    const auto edits = kestrune::bench::ChooseEdits(file);
    if (edits.size() != 500) return {{}, {}, "fewer than 500 editable DM elements"};
    versions.before = modGen::ReadWholeFile(file);
    modXML::XmlDocument doc;
    if (!doc.Parse(versions.before).ok) return {{}, {}, "the corpus file does not parse"};
    for (const auto& edit : edits) modXML::ApplyFixEntry(doc, edit.path, "val", edit.value, "");
    modGen::ReportLog.clear();
    versions.after = doc.Xml();
    return versions;
}

void DiffCorpus500(benchmark::State& state) {
    const Versions versions = MakeVersions();
    if (!versions.problem.empty()) {
        state.SkipWithError(versions.problem.c_str());
        return;
    }
    std::size_t entries = 0;
    for (auto _ : state) {
        modXML::XmlDocument before, after;
        before.Parse(versions.before);
        after.Parse(versions.after);
        const kestrune::ConfigDiff diff = kestrune::DiffConfigs(before, after);
        const std::string text = kestrune::FixFileText(diff.Entries);
        entries = diff.Problems.empty() ? diff.Entries.size() : 0;
        benchmark::DoNotOptimize(text.data());
    }
    if (entries != 500) state.SkipWithError("the diff did not give the 500 entries");
}
BENCHMARK(DiffCorpus500)->Unit(benchmark::kMillisecond);

// The comparison alone, on the two documents parsed once.
void DiffCorpus500Compare(benchmark::State& state) {
    const Versions versions = MakeVersions();
    if (!versions.problem.empty()) {
        state.SkipWithError(versions.problem.c_str());
        return;
    }
    modXML::XmlDocument before, after;
    before.Parse(versions.before);
    after.Parse(versions.after);
    for (auto _ : state) benchmark::DoNotOptimize(kestrune::DiffConfigs(before, after).Entries.data());
}
BENCHMARK(DiffCorpus500Compare)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
