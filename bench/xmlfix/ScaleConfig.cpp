#include "ScaleConfig.h"

#include <algorithm>
#include <array>
#include <random>

namespace kestrune::bench {
namespace {

constexpr std::size_t RowsPerTable = 8;
constexpr std::size_t FieldsPerRow = 10;

// Names as the routers use them; a table takes ten of them.
const std::array<const char*, 24> FieldNames = {
    "ViewName", "Enable",   "Alias",        "Name",       "Status",      "Interface", "Type",       "Protocol",
    "Level",    "Key",      "LowerLayers",  "ServType",   "Frequency1",  "Power1",    "Duration",   "EntryID",
    "ToneType", "IFName",   "MaxBitRate",   "DuplexMode", "AliasName",   "SupportType", "tLastChange", "IsFlowCtl",
};
const std::array<const char*, 12> TableNames = {"ETH",  "WANCD", "WAND", "DHCPS", "VOIPTone", "WLANCfg",
                                                "FWIP", "QOSC",  "DNS",  "ROUTE", "USBDev",   "TR069"};

// A value such as the corpus holds: flags, counts, view names, hex strings.
std::string Value(std::mt19937& random) {
    static const char hex[] = "0123456789ABCDEF";
    switch (random() % 8) {
    case 0:
    case 1:
    case 2: return std::to_string(random() % 2);
    case 3: return std::to_string(random() % 5000);
    case 4: return "IGD.LD" + std::to_string(random() % 4 + 1) + ".ETH" + std::to_string(random() % 8 + 1);
    case 5: return "DEV.WIFI.SSID" + std::to_string(random() % 16 + 1);
    case 6: return "";
    default: {
        std::string s(8 + random() % 16, '0');
        for (char& c : s) c = hex[random() % 16];
        return s;
    }
    }
}

}  // namespace

ScaleCase MakeScaleCase(std::size_t bytes, std::size_t edits, std::uint32_t seed) {
    std::mt19937 random(seed);
    ScaleCase c;
    c.xml.reserve(bytes + 4096);
    struct Field {
        std::string table;
        std::size_t row;
        std::string name;
    };
    std::vector<Field> fields;
    c.xml += "<DB>\n";
    for (std::size_t t = 0; c.xml.size() < bytes; ++t) {
        const std::string table = std::string(TableNames[t % TableNames.size()]) + std::to_string(t);
        std::array<const char*, FieldNames.size()> names = FieldNames;
        for (std::size_t k = 0; k < FieldsPerRow; ++k) std::swap(names[k], names[k + random() % (names.size() - k)]);
        c.xml += "<Tbl name=\"" + table + "\" RowCount=\"" + std::to_string(RowsPerTable) + "\">\n";
        for (std::size_t r = 0; r < RowsPerTable; ++r) {
            c.xml += "<Row No=\"" + std::to_string(r) + "\">\n";
            for (std::size_t k = 0; k < FieldsPerRow; ++k) {
                c.xml += std::string("<DM name=\"") + names[k] + "\" val=\"" + Value(random) + "\"/>\n";
                fields.push_back({table, r, names[k]});
            }
            c.xml += "</Row>\n";
        }
        c.xml += "</Tbl>\n";
    }
    c.xml += "</DB>\n";

    // The first edits of a shuffle: distinct fields in random order.
    edits = std::min(edits, fields.size());
    for (std::size_t n = 0; n < edits; ++n) {
        std::swap(fields[n], fields[n + random() % (fields.size() - n)]);
        const Field& f = fields[n];
        // No generated value starts with "k", so every edit changes its field.
        c.edits.push_back({"/DB/Tbl[@name='" + f.table + "']/Row[@No='" + std::to_string(f.row) + "']/DM[@name='" +
                               f.name + "']",
                           "k" + std::to_string(n)});
    }
    return c;
}

}  // namespace kestrune::bench
