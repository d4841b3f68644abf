#include "XmlFixTestSupport.h"

#include <map>
#include <tuple>

using kestrune::test::CorpusDir;
using kestrune::test::TempDir;
using kestrune::test::XmlFixTest;

namespace {

// One <DM .../> tag, read by plain text scanning rather than by any parser.
struct DmTag {
    std::string table;  // name of the enclosing Tbl
    std::string row;    // No of the enclosing Row
    std::vector<std::pair<std::string, std::string>> attributes;
    std::size_t begin = 0;
    std::size_t end = 0;

    std::string Attribute(const std::string& name) const {
        for (const auto& [n, v] : attributes) {
            if (n == name) return v;
        }
        return {};
    }
};

std::string DecodeReferences(const std::string& raw) {
    static const std::map<std::string, std::string> named = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto semicolon = raw[i] == '&' ? raw.find(';', i) : std::string::npos;
        if (semicolon == std::string::npos) {
            out.push_back(raw[i]);
            continue;
        }
        const std::string name = raw.substr(i + 1, semicolon - i - 1);
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            out.push_back(static_cast<char>(std::stoi(name.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10)));
        } else {
            out += named.at(name);
        }
        i = semicolon;
    }
    return out;
}

// The attributes of the tag starting at begin ("<" name), up to its ">".
std::vector<std::pair<std::string, std::string>> ScanAttributes(const std::string& xml, std::size_t begin,
                                                                 std::size_t& end) {
    std::vector<std::pair<std::string, std::string>> attributes;
    std::size_t p = xml.find_first_of(" \t\r\n/>", begin);
    for (;;) {
        p = xml.find_first_not_of(" \t\r\n", p);
        if (xml[p] == '>' || xml[p] == '/') break;
        const auto equals = xml.find('=', p);
        const char quote = xml[equals + 1];
        const auto close = xml.find(quote, equals + 2);
        attributes.emplace_back(xml.substr(p, equals - p), DecodeReferences(xml.substr(equals + 2, close - equals - 2)));
        p = close + 1;
    }
    end = xml.find('>', p) + 1;
    return attributes;
}

std::vector<DmTag> ScanDmTags(const std::string& xml) {
    std::vector<DmTag> tags;
    std::string table;
    std::string row;
    for (std::size_t p = xml.find('<'); p != std::string::npos; p = xml.find('<', p + 1)) {
        std::size_t end = 0;
        if (xml.compare(p, 5, "<Tbl ") == 0) {
            for (const auto& [n, v] : ScanAttributes(xml, p, end)) {
                if (n == "name") table = v;
            }
        } else if (xml.compare(p, 5, "<Row ") == 0) {
            for (const auto& [n, v] : ScanAttributes(xml, p, end)) {
                if (n == "No") row = v;
            }
        } else if (xml.compare(p, 4, "<DM ") == 0) {
            DmTag tag{table, row, ScanAttributes(xml, p, end), p, 0};
            tag.end = end;
            tags.push_back(std::move(tag));
        }
    }
    return tags;
}

// Everything but the DM tags.
std::string Outside(const std::string& xml, const std::vector<DmTag>& tags) {
    std::string out;
    std::size_t from = 0;
    for (const auto& tag : tags) {
        out.append(xml, from, tag.begin - from);
        from = tag.end;
    }
    out.append(xml, from);
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

using CorpusEdit = XmlFixTest;

TEST_F(CorpusEdit, FiveHundredAttributeEditsGiveExactlyTheValuesAskedFor) {
    const auto corpus = CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "the router corpus is not beside the project";
    const std::string file = (corpus / "ZXHN_H267A.xml").string();
    const std::string original = kestrune::test::ReadFile(file);
    const std::vector<DmTag> before = ScanDmTags(original);
    ASSERT_GT(before.size(), 5000u);

    // DM elements that the address names alone, so that its first match is
    // the element meant.
    std::map<std::tuple<std::string, std::string, std::string>, int> uses;
    for (const auto& tag : before) ++uses[{tag.table, tag.row, tag.Attribute("name")}];
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const auto& tag = before[i];
        const std::string address = tag.table + tag.row + tag.Attribute("name");
        if (uses[{tag.table, tag.row, tag.Attribute("name")}] == 1 && address.find('\'') == std::string::npos &&
            !tag.Attribute("name").empty() && tag.attributes.size() == 2 && tag.attributes[1].first == "val") {
            candidates.push_back(i);
        }
    }
    ASSERT_GE(candidates.size(), 500u);

    ASSERT_TRUE(modXML::LoadConfigXML(doc, file, false, ui));
    modGen::ReportLog.clear();
    std::map<std::size_t, std::string> asked;
    std::string expectedReport;
    for (std::size_t n = 0; n < 500; ++n) {
        const std::size_t index = candidates[n * candidates.size() / 500];
        const DmTag& tag = before[index];
        std::string value = "k" + std::to_string(n) + (n % 50 == 0 ? " a&b<c>\"d'" : "");
        if (Lower(value) == Lower(tag.Attribute("val"))) value += "x";
        asked[index] = value;
        modXML::ApplyFixEntry(doc,
                              "/DB/Tbl[@name='" + tag.table + "']/Row[@No='" + tag.row + "']/DM[@name='" +
                                  tag.Attribute("name") + "']",
                              "val", value, "Fix " + std::to_string(n));
        expectedReport += "Changing Fix " + std::to_string(n) + "\r\n";
    }
    EXPECT_EQ(modGen::ReportLog, expectedReport);

    TempDir dir;
    doc.Save(dir / "fixed.xml");
    const std::string saved = kestrune::test::ReadFile(dir / "fixed.xml");
    const std::vector<DmTag> after = ScanDmTags(saved);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE("DM " + std::to_string(i) + " " + before[i].Attribute("name"));
        EXPECT_EQ(after[i].table, before[i].table);
        EXPECT_EQ(after[i].row, before[i].row);
        auto expected = before[i].attributes;
        if (const auto it = asked.find(i); it != asked.end()) expected[1].second = it->second;
        ASSERT_EQ(after[i].attributes, expected);
    }
    EXPECT_TRUE(Outside(saved, after) == Outside(original, before));
}
