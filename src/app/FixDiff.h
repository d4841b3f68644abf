#pragma once

#include "app/FixFile.h"

#include <string>
#include <vector>

namespace modXML {
class XmlDocument;
}

namespace kestrune {

// A difference between two configurations that no fix entry can make.
struct DiffProblem {
    std::string Path;    // the element it concerns, as near as a path names it
    std::string Reason;
};

// The entries that turn one configuration into another, in the order they
// must be applied, and the differences they leave out.
struct ConfigDiff {
    std::vector<FixEntry> Entries;
    std::vector<DiffProblem> Problems;
};

// Compares two loaded configurations. They are equal when they have the same
// root, the same elements with the same attributes (in any order) and texts,
// same-named siblings in the same order, and the same comments and
// processing instructions; a text of white space only counts as no text, and
// the order of differently named siblings does not count. Applying Entries
// to before in order makes it equal to after unless there are Problems.
ConfigDiff DiffConfigs(modXML::XmlDocument& before, modXML::XmlDocument& after);

// The entries as a plain fix file: "[Router Fix]", then p=, a= (when the
// entry names an attribute), v= and d= for each entry, every line ended by CR LF.
std::string FixFileText(const std::vector<FixEntry>& entries);

}  // namespace kestrune
