// Load + 500 attribute edits + serialise on the largest corpus configuration;
// bench/compare.sh times the same edits through kestrune-cli and xmlstarlet.

#include "QuietUserInterface.h"
#include "CorpusEdits.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using SilentUserInterface = kestrune::bench::QuietUserInterface;

void LoadEditSerialise(benchmark::State& state) {
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
    std::vector<std::string> labels;
    for (std::size_t n = 0; n < edits.size(); ++n) labels.push_back("Fix " + std::to_string(n));
    SilentUserInterface ui;
    std::size_t bytes = 0;
    for (auto _ : state) {
        modGen::ReportLog.clear();
        modXML::XmlDocument doc;
        if (!modXML::LoadConfigXML(doc, file, false, ui)) {
            state.SkipWithError("the corpus file did not load");
            return;
        }
        for (std::size_t n = 0; n < edits.size(); ++n) {
            modXML::ApplyFixEntry(doc, edits[n].path, "val", edits[n].value, labels[n]);
        }
        const std::string xml = doc.Xml();
        bytes = xml.size();
        benchmark::DoNotOptimize(xml.data());
    }
    state.counters["output_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(LoadEditSerialise)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
