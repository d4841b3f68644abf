// The fix engine on arbitrary documents and entries. The input is a
// document, the marker "\0FIX\0" (which no UTF-16 or UTF-32 text holds) and
// a plain fix text whose entries are applied in turn. Whatever the entries did, the document as it would be saved parses
// again, means what the tree held, and is written by the next load exactly
// as it was saved.
#include "FuzzSupport.h"

#include "app/FixFile.h"
#include "cipher/clsBlowfish.h"
#include "common/Errors.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using kestrune::fuzz::QuietInterface;
using kestrune::fuzz::Require;

namespace {

const std::string Marker("\0FIX\0", 5);

// The entries applied per input: more only repeat what a few already reach.
constexpr std::size_t MaxEntries = 16;

std::string Describe(const pugi::xml_node& node) {
    return "node type " + std::to_string(node.type()) + " <" + node.name() + "> \"" + node.value() + "\"";
}

// Children as a parser reads them back: adjacent texts are one text.
struct Child {
    pugi::xml_node node;
    std::string text;
};

std::vector<Child> ChildrenOf(const pugi::xml_node& parent) {
    std::vector<Child> children;
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_pcdata && !children.empty() && children.back().node.type() == pugi::node_pcdata) {
            children.back().text += n.value();
        } else {
            children.push_back({n, n.value()});
        }
    }
    return children;
}

void RequireSameTree(const pugi::xml_node& held, const pugi::xml_node& read) {
    const std::vector<Child> a = ChildrenOf(held);
    const std::vector<Child> b = ChildrenOf(read);
    Require(a.size() == b.size(), "the saved text has the tree's children",
            "under " + Describe(held) + ": " + std::to_string(a.size()) + " against " + std::to_string(b.size()));
    for (std::size_t i = 0; i < a.size(); ++i) {
        const pugi::xml_node x = a[i].node;
        const pugi::xml_node y = b[i].node;
        const std::string where = Describe(x) + " against " + Describe(y);
        Require(x.type() == y.type() && std::string(x.name()) == y.name() && a[i].text == b[i].text,
                "the saved text has the tree's nodes", where);
        pugi::xml_attribute p = x.first_attribute();
        pugi::xml_attribute q = y.first_attribute();
        for (; p && q; p = p.next_attribute(), q = q.next_attribute()) {
            Require(std::string(p.name()) == q.name() && std::string(p.value()) == q.value(),
                    "the saved text has the tree's attributes",
                    where + ": " + p.name() + "=\"" + p.value() + "\" against " + q.name() + "=\"" + q.value() + "\"");
        }
        Require(!p && !q, "the saved text has as many attributes as the tree", where);
        if (x.type() == pugi::node_element) RequireSameTree(x, y);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find(Marker);
    const std::string document = input.substr(0, split);
    const std::string fixText = split == std::string::npos ? std::string() : input.substr(split + Marker.size());
    modGen::ReportLog.clear();

    QuietInterface ui;
    static kestrune::clsBlowfish cipher;
    kestrune::FixEntryList entries;
    try {
        kestrune::ParseFixText(fixText, entries, cipher, ui);
    } catch (const kestrune::RunError&) {
    }

    modXML::XmlDocument doc;
    if (!modXML::LoadConfigXML(doc, document, true, ui)) {
        Require(!doc.IsLoaded(), "a failed load leaves no document");
        return 0;
    }
    for (std::size_t i = 0; i < entries.size() && i < MaxEntries; ++i) {
        const kestrune::FixEntry& e = entries[i];
        try {
            modXML::ApplyFixEntry(doc, e.Path, e.Attribute, e.Value, "Fix " + std::to_string(i));
        } catch (const kestrune::RunError&) {
            // The run would end here; the document must still save soundly.
        }
    }

    const std::string saved = doc.Xml();
    modXML::XmlDocument again;
    const modXML::ParseOutcome outcome = again.Parse(saved);
    Require(outcome.ok, "a saved document parses again",
            outcome.reason + " at " + std::to_string(outcome.position) + " in:\n" + saved);
    RequireSameTree(doc.Dom(), again.Dom());
    Require(again.Xml() == saved, "an unchanged document is written as it was read", saved);
    return 0;
}
