#pragma once

#include "common/Errors.h"
#include "common/Latin1.h"
#include "common/modGen.h"
#include "xmlfix/modXML.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

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

// Expects action to raise the RunError number with a description that names
// mention, a byte string as the engine was given it; descriptions are UTF-8.
inline void ExpectRunError(const std::function<void()>& action, std::int32_t number, const std::string& mention = "") {
    try {
        action();
        ADD_FAILURE() << "no error raised";
    } catch (const RunError& e) {
        EXPECT_EQ(e.number(), number);
        EXPECT_NE(e.description().find(Latin1ToUtf8(mention)), std::string::npos) << e.description();
    }
}

}  // namespace kestrune::test
