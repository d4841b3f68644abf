// A whole fix run of samples/router.bin in memory: the Fix button's call
// chain with the file dialog answered by a script and nothing written.

#include "QuietUserInterface.h"
#include "app/FixRun.h"
#include "common/modGen.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string SampleFile = std::string(KESTRUNE_SOURCE_DIR) + "/samples/router.bin";
const std::string FixFolder = std::string(KESTRUNE_SOURCE_DIR) + "/fixes";

// Answers every file dialog with the sample and keeps quiet otherwise.

// Unpack, load, the first fix of the list and the WEP fix, pack.
void BM_FixRunDryRun(benchmark::State& state) {
    kestrune::bench::QuietUserInterface ui(SampleFile);
    kestrune::FixRun run(ui, FixFolder);
    run.DryRun = true;
    run.Form_Load();
    for (auto _ : state) {
        if (run.cmdDoAll_Click() != kestrune::RunOutcome::Fixed) {
            state.SkipWithError("the sample fix run failed");
            return;
        }
    }
    state.counters["report_bytes"] = static_cast<double>(modGen::ReportLog.size());
}
BENCHMARK(BM_FixRunDryRun)->Unit(benchmark::kMicrosecond);

// What kestrune-cli fix does in one process besides starting: start-up
// (fix list, first fix deciphered, WEP fix) and the run.
void BM_StartUpAndFixRun(benchmark::State& state) {
    kestrune::bench::QuietUserInterface ui(SampleFile);
    for (auto _ : state) {
        kestrune::FixRun run(ui, FixFolder);
        run.DryRun = true;
        run.Form_Load();
        if (run.cmdDoAll_Click() != kestrune::RunOutcome::Fixed) {
            state.SkipWithError("the sample fix run failed");
            return;
        }
    }
}
BENCHMARK(BM_StartUpAndFixRun)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
