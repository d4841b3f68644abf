// A whole fix run of samples/router.bin in memory: the Fix button's call
// chain with the file dialog answered by a script and nothing written.

#include "app/FixRun.h"
#include "common/modGen.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string SampleFile = std::string(KESTRUNE_SOURCE_DIR) + "/samples/router.bin";
const std::string FixFolder = std::string(KESTRUNE_SOURCE_DIR) + "/fixes";

// Answers every file dialog with the sample and keeps quiet otherwise.
class ScriptedUserInterface : public kestrune::UserInterface {
protected:
    void DoShowMessage(const std::string&, kestrune::MessageIcon, const std::string&) override {}
    std::string DoChooseFileToOpen(const std::string&, const std::string&) override { return SampleFile; }
    std::string DoAskForText(const std::string&, const std::string&) override { return {}; }
};

// Unpack, load, the first fix of the list and the WEP fix, pack.
void BM_FixRunDryRun(benchmark::State& state) {
    ScriptedUserInterface ui;
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
    ScriptedUserInterface ui;
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
