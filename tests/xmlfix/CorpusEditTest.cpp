#include "XmlFixTestSupport.h"

#include <map>
#include <tuple>

using kestrune::test::CorpusDir;
using kestrune::test::TempDir;
using kestrune::test::XmlFixTest;

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

// One <DM .../> tag, with the name of its Tbl and the number of its Row.
struct DmTag { std::string table, row; Attributes attributes; std::size_t begin = 0, end = 0; };

std::string ValueOf(const Attributes& attributes, const std::string& name) {
    for (const auto& [n, v] : attributes)
        if (n == name) return v;
    return {};
}

// The attributes of the tag that starts at begin, up to its ">", which end then follows.
Attributes ScanAttributes(const std::string& xml, std::size_t begin, std::size_t& end) {
    Attributes attributes;
    std::size_t p = xml.find_first_of(" \t\r\n/>", begin);
    while ((p = xml.find_first_not_of(" \t\r\n", p)) != std::string::npos && xml[p] != '>' && xml[p] != '/') {
        const auto equals = xml.find('=', p);
        const auto close = xml.find(xml[equals + 1], equals + 2);
        attributes.emplace_back(xml.substr(p, equals - p), xml.substr(equals + 2, close - equals - 2));
        p = close + 1;
    }
    end = xml.find('>', p) + 1;
    return attributes;
}

// The DM tags, read by plain text scanning rather than by any XML parser.
std::vector<DmTag> ScanDmTags(const std::string& xml) {
    std::vector<DmTag> tags;
    std::string table, row;
    for (std::size_t p = xml.find('<'), end = 0; p != std::string::npos; p = xml.find('<', p + 1)) {
        if (xml.compare(p, 5, "<Tbl ") == 0) table = ValueOf(ScanAttributes(xml, p, end), "name");
        if (xml.compare(p, 5, "<Row ") == 0) row = ValueOf(ScanAttributes(xml, p, end), "No");
        if (xml.compare(p, 4, "<DM ") == 0) tags.push_back({table, row, ScanAttributes(xml, p, end), p, end});
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
    return out.append(xml, from);
}

}  // namespace

using CorpusEdit = XmlFixTest;

TEST_F(CorpusEdit, FiveHundredAttributeEditsGiveExactlyTheValuesAskedFor) {
    if (CorpusDir().empty()) GTEST_SKIP() << "the router corpus is not beside the project";
    const std::string file = (CorpusDir() / "ZXHN_H267A.xml").string();
    const std::string original = kestrune::test::ReadFile(file);
    const std::vector<DmTag> before = ScanDmTags(original);
    ASSERT_GT(before.size(), 5000u);

    // An address names the first DM of its Tbl, Row and name.
    std::map<std::tuple<std::string, std::string, std::string>, std::size_t> first;
    for (std::size_t i = 0; i < before.size(); ++i)
        first.try_emplace({before[i].table, before[i].row, ValueOf(before[i].attributes, "name")}, i);

    ASSERT_TRUE(modXML::LoadConfigXML(doc, file, false, ui));
    modGen::ReportLog.clear();
    std::map<std::size_t, std::string> asked;
    std::string expectedReport;
    for (std::size_t n = 0; n < 500; ++n) {
        const DmTag& picked = before[n * before.size() / 500];
        const std::string name = ValueOf(picked.attributes, "name");
        const std::size_t index = first.at({picked.table, picked.row, name});
        std::string value = "#" + std::to_string(n);
        if (value == ValueOf(before[index].attributes, "val")) value += "x";  // an equal value would be skipped
        asked[index] = value;
        modXML::ApplyFixEntry(doc,
                              "/DB/Tbl[@name='" + picked.table + "']/Row[@No='" + picked.row + "']/DM[@name='" +
                                  name + "']",
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
        SCOPED_TRACE("DM " + std::to_string(i) + " " + ValueOf(before[i].attributes, "name"));
        EXPECT_EQ(std::tie(after[i].table, after[i].row), std::tie(before[i].table, before[i].row));
        Attributes expected = before[i].attributes;
        if (const auto it = asked.find(i); it != asked.end()) expected.at(1) = {"val", it->second};
        ASSERT_EQ(after[i].attributes, expected);
    }
    EXPECT_TRUE(Outside(saved, after) == Outside(original, before));
}
