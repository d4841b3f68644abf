#pragma once

#include "common/Errors.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace kestrune::test {

// A fresh document and report log for each test; verbose mode off.
class XmlFixTest : public ::testing::Test {
protected:
    void SetUp() override {
        modGen::ReportLog.clear();
        modGen::VerboseMode = false;
        modXML::JustCreated = false;
    }
    void TearDown() override { SetUp(); }

    // Loads xml as text into doc and clears the load's report line.
    void Load(const std::string& xml) {
        ASSERT_TRUE(modXML::LoadConfigXML(doc, xml, true, ui)) << ui.messages.back().text;
        modGen::ReportLog.clear();
    }

    modXML::XmlDocument doc;
    FakeUserInterface ui;
};

}  // namespace kestrune::test
