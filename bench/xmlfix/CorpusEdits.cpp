#include "CorpusEdits.h"

#include <pugixml.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

namespace kestrune::bench {

std::string CorpusFile() {
    return (std::filesystem::path(KESTRUNE_SOURCE_DIR).parent_path() / "shared" / "corpus" / "router-xml" /
            "ZXHN_H267A.xml")
        .string();
}

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
    // A quote would end the XPath literal, and a duplicated address would
    // let the two tools pick different elements.
    std::vector<Key> unique;
    for (const auto& key : order) {
        const std::string all = std::get<0>(key) + std::get<1>(key) + std::get<2>(key);
        if (uses[key] == 1 && all.find_first_of("'\"\\$`") == std::string::npos) unique.push_back(key);
    }
    std::vector<Edit> edits;
    for (std::size_t n = 0; n < 500 && unique.size() >= 500; ++n) {
        const auto& [table, row, name] = unique[n * unique.size() / 500];
        edits.push_back({"/DB/Tbl[@name='" + table + "']/Row[@No='" + row + "']/DM[@name='" + name + "']",
                         std::string("k").append(std::to_string(n))});
    }
    return edits;
}

std::string FixText(const std::vector<Edit>& edits) {
    std::string text = "[Router Fix]\r\n";
    for (const auto& edit : edits) text += "p=" + edit.path + "\r\na=val\r\nv=" + edit.value + "\r\n";
    return text;
}

bool WriteEditFiles(const std::vector<Edit>& edits, const std::string& fixFile, const std::string& listFile) {
    std::ofstream fix(fixFile, std::ios::binary);
    fix << FixText(edits);
    std::ofstream list(listFile, std::ios::binary);
    for (const auto& edit : edits) list << edit.path << '\t' << edit.value << '\n';
    return fix.good() && list.good();
}

}  // namespace kestrune::bench
