// The XML fix engine in process: load, edits and serialise of the largest
// corpus configuration and of generated ones at three sizes (bench/compare.sh
// times the same work through kestrune-cli and xmlstarlet), and paths of
// many steps.

#include "QuietUserInterface.h"
#include "CorpusEdits.h"
#include "ScaleConfig.h"
#include "common/Errors.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using kestrune::bench::Edit;

// Loads xml (a file name when fromFile), applies the edits to val attributes
// and serialises, once per iteration.
void LoadEditSerialise(benchmark::State& state, const std::string& xml, bool fromFile, const std::vector<Edit>& edits) {
    std::vector<std::string> labels;
    for (std::size_t n = 0; n < edits.size(); ++n) labels.push_back("Fix " + std::to_string(n));
    kestrune::bench::QuietUserInterface ui;
    std::size_t bytes = 0;
    for (auto _ : state) {
        modGen::ReportLog.clear();
        modXML::XmlDocument doc;
        if (!modXML::LoadConfigXML(doc, xml, !fromFile, ui)) {
            state.SkipWithError("the configuration did not load");
            return;
        }
        for (std::size_t n = 0; n < edits.size(); ++n) {
            modXML::ApplyFixEntry(doc, edits[n].path, "val", edits[n].value, labels[n]);
        }
        const std::string out = doc.Xml();
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["edits"] = static_cast<double>(edits.size());
}

void BM_CorpusFix500(benchmark::State& state) {
    const std::string file = kestrune::bench::CorpusFile();
    if (!std::filesystem::exists(file)) {
        state.SkipWithError("the router corpus is not beside the project");
        return;
    }
    const auto edits = kestrune::bench::ChooseEdits(file);
    if (edits.size() != 500) {
        state.SkipWithError("fewer than 500 editable DM elements");
        return;
    }
    LoadEditSerialise(state, file, true, edits);
}
BENCHMARK(BM_CorpusFix500)->Unit(benchmark::kMillisecond);

// A generated configuration of range(0) bytes with one edit per 600 bytes
// (500 edits at 0.3 MB), as compare.sh's scale rows.
void BM_ScaleFix(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    const auto scale = kestrune::bench::MakeScaleCase(bytes, bytes / 600);
    LoadEditSerialise(state, scale.xml, false, scale.edits);
}
BENCHMARK(BM_ScaleFix)->Arg(300'000)->Arg(3'000'000)->Arg(12'000'000)->Unit(benchmark::kMillisecond);

// Paths of range(0) steps: "/r/n/n/..." on a document nested as deep as a
// load accepts, or "/r/k¤1/k¤2/..." on one whose keyed elements go as deep.
std::string LongPath(bool keyed, std::int64_t steps) {
    std::string path = "/r";
    for (std::int64_t i = 1; i <= steps; ++i) {
        path += keyed ? "/k" + std::string(1, modXML::KeySeparator) + std::to_string(i) : std::string("/n");
    }
    return path;
}

std::string DeepDocument(bool keyed) {
    std::string open = "<r>";
    std::string close = "</r>";
    for (int i = 1; i < 500; ++i) {
        open += keyed ? "<k><id>" + std::to_string(i) + "</id>" : std::string("<n>");
        close.insert(0, keyed ? "</k>" : "</n>");
    }
    return open + close;
}

void LongPathBench(benchmark::State& state, bool keyed, bool apply) {
    const std::string path = LongPath(keyed, state.range(0));
    kestrune::bench::QuietUserInterface ui;
    modXML::XmlDocument doc;
    if (!modXML::LoadConfigXML(doc, DeepDocument(keyed), true, ui)) {
        state.SkipWithError("the deep document did not load");
        return;
    }
    for (auto _ : state) {
        if (apply) {
            // Not found, so its steps are to be created: too deep, it fails.
            try {
                modXML::ApplyFixEntry(doc, path, "", "v", "Fix 0");
                state.SkipWithError("a path deeper than a load accepts was created");
                return;
            } catch (const kestrune::RunError&) {
            }
        } else {
            pugi::xml_node node;
            modXML::FindNode(doc, node, path);
            benchmark::DoNotOptimize(node);
        }
    }
}

void BM_LongPathFindNode(benchmark::State& state) { LongPathBench(state, false, false); }
void BM_LongKeyedPathFindNode(benchmark::State& state) { LongPathBench(state, true, false); }
void BM_LongPathApplyFails(benchmark::State& state) { LongPathBench(state, false, true); }
void BM_LongKeyedPathApplyFails(benchmark::State& state) { LongPathBench(state, true, true); }
BENCHMARK(BM_LongPathFindNode)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongKeyedPathFindNode)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongPathApplyFails)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongKeyedPathApplyFails)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
