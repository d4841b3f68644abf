// Load + 500 attribute edits + serialise on the largest corpus configuration.
// With KESTRUNE_BENCH_EDITS=FILE the edits are also written to FILE, one
// "xpath<TAB>value" line each, for compare_xmlstarlet.sh.

#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

class SilentUserInterface : public kestrune::UserInterface {
protected:
    void DoShowMessage(const std::string&, kestrune::MessageIcon, const std::string&) override {}
    std::string DoChooseFileToOpen(const std::string&, const std::string&) override { return {}; }
    std::string DoAskForText(const std::string&, const std::string&) override { return {}; }
};

struct Edit {
    std::string path;
    std::string value;
    std::string label;
};

std::string CorpusFile() {
    return (std::filesystem::path(KESTRUNE_SOURCE_DIR).parent_path() / "shared" / "corpus" / "router-xml" /
            "ZXHN_H267A.xml")
        .string();
}

// 500 DM elements spread over the file, each one the only match of its address.
std::vector<Edit> ChooseEdits(const std::string& file) {
    pugi::xml_document dom;
    if (!dom.load_file(file.c_str())) return {};
    using Key = std::tuple<std::string, std::string, std::string>;
    std::map<Key, int> uses;
    std::vector<Key> order;
    for (const auto& table : dom.child("DB").children("Tbl")) {
        for (const auto& row : table.children("Row")) {
            for (const auto& dm : row.children("DM")) {
                Key key{table.attribute("name").value(), row.attribute("No").value(), dm.attribute("name").value()};
                if (uses[key]++ == 0 && dm.attribute("val")) order.push_back(key);
            }
        }
    }
    std::vector<Key> unique;
    for (const auto& key : order) {
        const std::string all = std::get<0>(key) + std::get<1>(key) + std::get<2>(key);
        if (uses[key] == 1 && all.find('\'') == std::string::npos) unique.push_back(key);
    }
    std::vector<Edit> edits;
    for (std::size_t n = 0; n < 500 && unique.size() >= 500; ++n) {
        const auto& [table, row, name] = unique[n * unique.size() / 500];
        Edit edit;
        edit.path = "/DB/Tbl[@name='" + table + "']/Row[@No='" + row + "']/DM[@name='" + name + "']";
        edit.value = std::string("k").append(std::to_string(n));
        edit.label = std::string("Fix ").append(std::to_string(n));
        edits.push_back(std::move(edit));
    }
    return edits;
}

void LoadEditSerialise(benchmark::State& state) {
    const std::string file = CorpusFile();
    if (!std::filesystem::exists(file)) {
        state.SkipWithError("the router corpus is not beside the project");
        return;
    }
    const std::vector<Edit> edits = ChooseEdits(file);
    if (edits.size() != 500) {
        state.SkipWithError("fewer than 500 editable DM elements");
        return;
    }
    if (const char* out = std::getenv("KESTRUNE_BENCH_EDITS")) {
        std::ofstream list(out, std::ios::binary);
        for (const auto& edit : edits) list << edit.path << '\t' << edit.value << '\n';
    }
    SilentUserInterface ui;
    std::size_t bytes = 0;
    for (auto _ : state) {
        modGen::ReportLog.clear();
        modXML::XmlDocument doc;
        if (!modXML::LoadConfigXML(doc, file, false, ui)) {
            state.SkipWithError("the corpus file did not load");
            return;
        }
        for (const auto& edit : edits) modXML::ApplyFixEntry(doc, edit.path, "val", edit.value, edit.label);
        const std::string xml = doc.Xml();
        bytes = xml.size();
        benchmark::DoNotOptimize(xml.data());
    }
    state.counters["output_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(LoadEditSerialise)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
