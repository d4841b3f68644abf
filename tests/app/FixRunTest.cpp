#include "app/FixRun.h"
#include "common/modGen.h"
#include "container/modConvert.h"
#include "xmlfix/modXML.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using kestrune::FixRun;
using kestrune::MessageIcon;
using kestrune::RunOutcome;
using kestrune::test::FakeUserInterface;
using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::Source;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;
using Lines = std::vector<std::string>;

namespace {

// The fix used throughout: remote administration off (a change), the NTP
// server in other letter case (skipped), and a new firewall rule by key.
const std::string kFix =
    "[Router Fix]\r\n"
    "p=/config/system/remote_admin/enabled\r\nv=0\r\n"
    "p=/config/system/time/ntp_server\r\nv=TIME.PROVIDER-ISP.NET\r\n"
    "p=/config/firewall/rules/rule\xA4" "20/action\r\nv=drop\r\n";
const std::string kWepFix =
    "[Router Fix]\r\n"
    "p=/config/modules/ap/settings/privacy_type\r\nv=1\r\nd=Enable WEP\r\n"
    "p=/config/modules/ap/settings/wep_privacy\r\nv=1\r\nd=Set WEP privacy\r\n";

// The time of every run: 15 March 2006, 14:30:05.
std::time_t RunTime() {
    std::tm t{};
    t.tm_year = 106, t.tm_mon = 2, t.tm_mday = 15, t.tm_hour = 14, t.tm_min = 30, t.tm_sec = 5, t.tm_isdst = -1;
    return std::mktime(&t);
}

Lines Join(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The report log those lines make: each ends in CR LF.
std::string Log(const Lines& lines) {
    std::string log;
    for (const auto& line : lines) log += line + "\r\n";
    return log;
}

class FixRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        modGen::ReportLog.clear();
        modGen::VerboseMode = false;
        WriteFile(programDir / "a_remote.fix", kFix);
        WriteFile(programDir / "fix.wep", kWepFix);
    }
    void TearDown() override { modGen::VerboseMode = false; }

    // A started run whose file dialog answers path.
    std::unique_ptr<FixRun> StartRun(const std::string& path) {
        ui.fileAnswers.push_back(path);
        auto run = std::make_unique<FixRun>(ui, programDir.path().string());
        run->Form_Load();
        run->Clock = RunTime;
        run->ShowReport = [this](const std::string& report) { shownReport = report; };
        return run;
    }

    // The sample router.xml in the config folder, as a container when bin is set.
    std::string PlaceConfig(const std::string& name, bool bin) {
        const std::string xml = Source("samples/router.xml");
        WriteFile(configDir / name, bin ? modConvert::XmlToBin(xml) : xml);
        return configDir / name;
    }

    Lines MessageTexts() const {
        Lines texts;
        for (const auto& m : ui.messages) texts.push_back(m.text);
        return texts;
    }

    TempDir programDir, configDir;
    FakeUserInterface ui;
    std::string shownReport;
};

// The entry lines of kFix.
const Lines kEntries = {"Changing Fix 0", "Skipping change to Fix 1", "Changing Fix 2"};

// Only a container is converted, each way, and backed up first.
TEST_F(FixRunTest, WholeRunsWriteTheReportInOrderBackUpContainersAndSaveTheFix) {
    const std::string router = Source("samples/router.xml"), noWepPrivacy = "<wep_privacy>0</wep_privacy>";
    const Lines made = Join(kEntries, {"Making WEP changes", "Changing Enable WEP", "Changing Set WEP privacy"});
    const Lines encrypted = Join(kEntries, {"Skipping WEP changes as some form of wireless encryption already exists"});
    const struct {
        const char* file;
        bool bin;
        std::string xml;
        bool verbose, wepFix;  // verbose mode on; fix.wep beside the program
        Lines entries;
    } cases[] = {
        {"router.bin", true, router, false, true, made},
        {"my.configs/Router.Home.BIN", true, router, false, true, made},
        {"router.xml", false, router, false, true, made},
        {"router", false, router, false, true, made},
        {"wpa.xml", false, Source("samples/router-wpa.xml"), false, true, encrypted},
        {"none.xml", false, Source("samples/router-no-wireless.xml"), false, true,
         Join(kEntries, {"Skipping WEP changes as there are no wireless settings"})},
        // privacy_type 0 alone joins to "0", which counts as encryption.
        {"zero.xml", false, std::string(router).erase(router.find(noWepPrivacy), noWepPrivacy.size()), false, true,
         encrypted},
        // Verbose mode changes the entry lines and no other.
        {"verbose.bin", true, router, true, true,
         {"Changing /config/system/remote_admin/enabled to 0", "Skipping change to /config/system/time/ntp_server",
          "Changing /config/firewall/rules/rule\xA4" "20/action to drop", "Making WEP changes",
          "Changing /config/modules/ap/settings/privacy_type to 1",
          "Changing /config/modules/ap/settings/wep_privacy to 1"}},
        {"nowep.xml", false, router, false, false,
         Join(kEntries, {"Skipping WEP changes as the WEP fix fix.wep could not be loaded"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        modGen::VerboseMode = c.verbose;
        if (!c.wepFix) std::filesystem::remove(programDir / "fix.wep");
        TempDir top;
        const std::filesystem::path path = top.path() / c.file, folder = path.parent_path();
        std::filesystem::create_directories(folder);
        WriteFile(path, c.bin ? modConvert::XmlToBin(c.xml) : c.xml);
        ui = FakeUserInterface();

        EXPECT_EQ(StartRun(path)->cmdDoAll_Click(), RunOutcome::Fixed);

        Lines report = {"Kestrune v2.0.0", "Converting bin file to xml", "Successfully loaded XML", "Applying fixes"};
        report = Join(Join(report, c.entries), {"Converting xml back to bin file", "Saved config file"});
        if (!c.bin) std::erase_if(report, [](const std::string& line) { return line.starts_with("Converting"); });
        EXPECT_EQ(modGen::ReportLog, Log(report));
        EXPECT_EQ(shownReport, modGen::ReportLog);
        // Without fix.wep, start-up has warned that it could not be loaded.
        ASSERT_EQ(ui.messages.size(), c.wepFix ? 1u : 2u);
        EXPECT_EQ(ui.messages.back().text, "The config file has been fixed!");
        // The backup is named after the last component of the path, without its extension.
        const std::string name = path.filename(), backup = path.stem().string() + "_20060315143005.bak";
        EXPECT_EQ(ListFolder(folder), (c.bin ? Lines{name, backup} : Lines{name}));
        EXPECT_TRUE(!c.bin || ReadFile(folder / backup) == modConvert::XmlToBin(c.xml)) << "the backup differs";
        FakeUserInterface quiet;
        const std::string saved = c.bin ? modConvert::BinToXml(path, quiet) : ReadFile(path);
        EXPECT_NE(saved.find("<remote_admin>\n      <enabled>0</enabled>"), std::string::npos);
        EXPECT_NE(saved.find("<ntp_server>time.provider-isp.net</ntp_server>"), std::string::npos);
        EXPECT_NE(saved.find("<rule><id>20</id><action>drop</action></rule>"), std::string::npos);
        EXPECT_EQ(saved.find("<wep_privacy>1</wep_privacy>") != std::string::npos,
                  std::ranges::find(c.entries, "Making WEP changes") != c.entries.end());
    }
}

TEST_F(FixRunTest, AFixWithoutEntriesEndsTheRunBeforeAFileIsChosen) {
    WriteFile(programDir / "a_remote.fix", "[Router Fix]\r\n");
    auto run = StartRun(PlaceConfig("router.bin", true));

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::NoFix);

    const std::string noFix = "No fix is loaded, so there is nothing to apply. Choose a fix that loads without a "
                              "warning, or add fix files (*.fix, fix_*.txt) to " + programDir.path().string() + ".";
    EXPECT_EQ(MessageTexts(), (Lines{"No fixes found in file.", noFix}));
    EXPECT_TRUE(ui.fileRequests.empty());
}

TEST_F(FixRunTest, MissingFileNeverReachesTheEarlierRunsDocument) {
    const std::string first = PlaceConfig("first.xml", false);
    auto run = StartRun(first);
    ASSERT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);
    const std::string afterFirstRun = ReadFile(first);
    ui.messages.clear();
    ui.fileAnswers.push_back(configDir / "gone.xml");

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::MissingFile);

    EXPECT_EQ(MessageTexts(), Lines{"Error 53 - File not found"});
    EXPECT_EQ(ReadFile(first), afterFirstRun);
}

// The run goes on without a backup; an older backup of the same second is
// nearer the original and is kept without a word.
TEST_F(FixRunTest, ABackupThatFailsIsShownAnOlderOneKeptAndTheRunGoesOn) {
    const std::string path = PlaceConfig("router.bin", true), backup = configDir / "router_20060315143005.bak";
    std::filesystem::create_directory(backup);

    EXPECT_EQ(StartRun(path)->cmdDoAll_Click(), RunOutcome::Fixed);

    EXPECT_EQ(MessageTexts(), (Lines{"Backup Error 75 - Path/File access error: " + backup +
                                         " is a folder, not a file",
                                     "The config file has been fixed!"}));
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(ui.messages[0].title, "Backing up config...");

    std::filesystem::remove(backup);
    WriteFile(backup, "the older backup");
    ui.messages.clear();
    EXPECT_EQ(StartRun(path)->cmdDoAll_Click(), RunOutcome::Fixed);
    EXPECT_EQ(MessageTexts(), Lines{"The config file has been fixed!"});
    EXPECT_EQ(ReadFile(backup), "the older backup");
}

// The prompt and the message themselves are the window's test.
TEST_F(FixRunTest, VerbosePasswordNeedsShiftAloneWithTheRightButtonAndTheExactText) {
    const std::string password = "M3XK8RB5QZ0LW7NT2HD9FJ4YPC6VG1SUE";
    const struct {
        int button, shift;
        std::string answer;
        bool verboseBefore, asked, verboseAfter;
    } cases[] = {
        {2, 1, password, false, true, true},
        {2, 1, password, true, true, true},
        {1, 1, password, false, false, false},
        {2, 0, password, false, false, false},
        {2, 3, password, false, false, false},
        {2, 1, "m3xk8rb5qz0lw7nt2hd9fj4ypc6vg1sue", false, true, false},
        {2, 1, " " + password, false, true, false},
        {2, 1, "", false, true, false},
        {2, 1, "wrong", true, true, true},  // nothing turns verbose mode off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.button) + "/" + std::to_string(c.shift) + " [" + c.answer + "]");
        FakeUserInterface fake;
        fake.textAnswers.push_back(c.answer);
        modGen::VerboseMode = c.verboseBefore;
        FixRun(fake, programDir.path().string()).lblReport_MouseUp(c.button, c.shift);
        EXPECT_EQ(fake.textRequests.size(), c.asked ? 1u : 0u);
        EXPECT_EQ(modGen::VerboseMode, c.verboseAfter);
        EXPECT_EQ(fake.messages.size(), c.asked && c.answer == password ? 1u : 0u);
    }
}

// The save's bytes are read back before they are written: a packer fault
// ends the run in the error exit and loses nothing.
TEST_F(FixRunTest, AContainerThatDoesNotReadBackIsNotSaved) {
    const std::string path = PlaceConfig("router.bin", true);
    auto run = StartRun(path);
    run->Pack = [](std::string_view xml) {
        std::string bin = modConvert::XmlToBin(xml);
        bin.back() = static_cast<char>(bin.back() ^ 1);
        return bin;
    };

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Failed);

    EXPECT_EQ(MessageTexts(), Lines{"Error -2147220735 - The packed config container does not read back as the XML it "
                                    "was packed from; nothing was saved"});
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(ReadFile(path), modConvert::XmlToBin(Source("samples/router.xml")));
    EXPECT_FALSE(modGen::ReportLog.ends_with("Saved config file\r\n"));
}

// The reader reads 66,203 bytes of XML: a container holding more could never be read again.
TEST_F(FixRunTest, AFixedXmlBeyondTheReadersRoomIsNotSaved) {
    std::string xml = Source("samples/router.xml");
    const std::size_t fits = 66203 - 10;  // the fix's new rule adds more than 10 bytes
    xml.insert(xml.find("<config"), "<!--" + std::string(fits - 7 - xml.size(), 'x') + "-->");
    const std::string path = configDir / "big.bin";
    WriteFile(path, modConvert::XmlToBin(xml));

    EXPECT_EQ(StartRun(path)->cmdDoAll_Click(), RunOutcome::Failed);

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.ends_with(
        " bytes, more than the 66,203 bytes that can be read back from a config container; nothing was saved"))
        << ui.messages[0].text;
    EXPECT_EQ(ReadFile(path), modConvert::XmlToBin(xml));
}

}  // namespace
