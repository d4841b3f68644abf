#include "xmlfix/modXML.h"

#include "xmlfix/Encoding.h"
#include "xmlfix/Tree.h"

#include "common/Errors.h"
#include "common/modGen.h"

#include <string_view>

namespace modXML {

bool JustCreated = false;

namespace {

using detail::XmlError;

char32_t FoldCase(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    return c;
}

}  // namespace

// Letter case ignored, for the Latin-1 letters as well as the ASCII ones.
// The tree's text is taken character by character as it is, so that a
// character a byte string cannot hold never equals the "?" it would become.
bool EqualIgnoringCase(std::string_view treeText, const std::string& value) {
    std::size_t i = 0;
    for (const char c : value) {
        if (i == treeText.size() ||
            FoldCase(detail::NextCharacter(treeText, i)) != FoldCase(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return i == treeText.size();
}

namespace {

void Apply(XmlDocument& doc, const std::string& path, const std::string& attribute, const std::string& value,
           const std::string& label, bool mayCreate);

// The entry's path is missing: its steps are created, and the entry is
// applied once more, to what they made.
void CreateAndApply(XmlDocument& doc, const std::string& path, const std::string& attribute, const std::string& value,
                    const std::string& label) {
    JustCreated = true;
    struct ResetJustCreated {
        ~ResetJustCreated() { JustCreated = false; }
    } reset;
    std::string prefix;
    pugi::xml_node parent = FindDeepestNode(doc, path, prefix);
    CreatePath(doc, parent, path, prefix);
    Apply(doc, path, attribute, value, label, false);
}

void Delete(pugi::xml_node node, const std::string& path, const std::string& attribute, const std::string& label) {
    if (!attribute.empty()) {
        RemoveAttribute(node, attribute);
        ReportChange("Deleting " + attribute + " of " + path, "Deleting " + label);
        return;
    }
    if (node.parent().type() != pugi::node_element) {
        throw XmlError(kestrune::ErrorNumber::XmlNoParentElement,
                       "Cannot delete " + path + ": the root element has no parent element");
    }
    detail::RemoveElement(node);
    ReportChange("Deleting " + path, "Deleting " + label);
}

// A value equal to what is there but for letter case is left as it is.
void SetValue(pugi::xml_node node, const std::string& path, const std::string& attribute, const std::string& newValue,
              const std::string& label) {
    if (attribute.empty()) {
        if (EqualIgnoringCase(detail::TreeText(node), newValue)) {
            ReportChange("Skipping change to " + path, "Skipping change to " + label);
        } else {
            SetElementText(node, newValue);
            ReportChange("Changing " + path + " to " + newValue, "Changing " + label);
        }
        return;
    }
    const pugi::xml_attribute current = node.attribute(detail::ToTree(attribute).c_str());
    if (!current) {
        SetAttribute(node, attribute, newValue);
        ReportChange("Creating " + attribute + " of " + path + " to " + newValue, "Creating " + label);
    } else if (EqualIgnoringCase(current.value(), newValue)) {
        ReportChange("Skipping change to " + attribute + " of " + path, "Skipping change to " + label);
    } else {
        SetAttribute(node, attribute, newValue);
        ReportChange("Changing " + attribute + " of " + path + " to " + newValue, "Changing " + label);
    }
}

void Apply(XmlDocument& doc, const std::string& path, const std::string& attribute, const std::string& value,
           const std::string& label, bool mayCreate) {
    pugi::xml_node node;
    FindNode(doc, node, path);
    if (!node) {
        if (!mayCreate) {
            throw XmlError(kestrune::ErrorNumber::XmlPathNotCreated,
                           "The path " + path + " is still not found after its missing steps were created");
        }
        CreateAndApply(doc, path, attribute, value, label);
    } else if (value == DeleteMarker) {
        Delete(node, path, attribute, label);
    } else if (value != ClearMarker || !JustCreated) {
        // Clearing what was just created leaves it empty as it is.
        const std::string newValue = value == ClearMarker ? std::string() : value;
        SetValue(node, path, attribute, newValue, label);
    }
}

}  // namespace

void ReportChange(const std::string& verboseLine, const std::string& plainLine) {
    modGen::AddReportLine(modGen::VerboseMode ? verboseLine : plainLine);
}

void ApplyFixEntry(XmlDocument& doc, const std::string& path, const std::string& attribute, const std::string& value,
                   const std::string& label) {
    detail::RequireLoaded(doc);
    // Checked before anything is created, so that a bad entry leaves the
    // document as it was.
    if (value != DeleteMarker) {
        if (!attribute.empty() && !IsValidXmlName(attribute)) {
            throw XmlError(kestrune::ErrorNumber::XmlInvalidName,
                           "Cannot set " + attribute + " of " + path + ": \"" + attribute +
                               "\" is not a valid attribute name");
        }
        detail::RequireXmlCharacters(value, "Cannot set " + path + ": the value");
    }
    Apply(doc, path, attribute, value, label, true);
}

}  // namespace modXML
