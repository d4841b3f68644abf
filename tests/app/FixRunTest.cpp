#include "app/FixRun.h"
#include "common/modGen.h"
#include "container/modConvert.h"
#include "xmlfix/modXML.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

using kestrune::FixRun;
using kestrune::MessageIcon;
using kestrune::RunOutcome;
using kestrune::test::FakeUserInterface;
using kestrune::test::ListFolder;
using kestrune::test::ReadFile;
using kestrune::test::Source;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

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

std::vector<std::string> Lines(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = log.find("\r\n"); end != std::string::npos; end = log.find("\r\n", start)) {
        lines.push_back(log.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, log.size()) << "the log does not end in CR LF";
    return lines;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

class FixRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        modGen::ReportLog.clear();
        modGen::VerboseMode = false;
        WriteFile(programDir / "a_remote.fix", kFix);
        WriteFile(programDir / "fix.wep", kWepFix);
        modConvert::InitContainerCodec();
    }
    void TearDown() override { modGen::VerboseMode = false; }

    // A started run whose file dialog answers path.
    std::unique_ptr<FixRun> StartRun(const std::string& path) {
        ui.fileAnswers.push_back(path);
        auto run = std::make_unique<FixRun>(ui, programDir.path().string());
        run->Form_Load();
        run->Clock = [] { return LocalTime(2006, 3, 15, 14, 30, 5); };
        run->ShowReport = [this](const std::string& report) { shownReport = report; };
        return run;
    }

    // Puts a sample into the config folder, as a container when bin is set.
    std::string PlaceConfig(const std::string& sample, const std::string& name, bool bin) {
        const std::string xml = Source("samples/" + sample);
        const std::string path = configDir / name;
        WriteFile(path, bin ? modConvert::XmlToBin(xml) : xml);
        return path;
    }

    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& m : ui.messages) texts.push_back(m.text);
        return texts;
    }

    TempDir programDir;
    TempDir configDir;
    FakeUserInterface ui;
    std::string shownReport;
};

TEST_F(FixRunTest, ContainerRunWritesTheReportInOrderAndSavesTheFix) {
    const std::string path = PlaceConfig("router.xml", "router.bin", true);
    const std::string original = ReadFile(path);
    auto run = StartRun(path);

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);

    const std::vector<std::string> expected = {
        "Kestrune v2.0.0", "Converting bin file to xml", "Successfully loaded XML", "Applying fixes",
        "Changing Fix 0", "Skipping change to Fix 1", "Changing Fix 2", "Making WEP changes",
        "Changing Enable WEP", "Changing Set WEP privacy", "Converting xml back to bin file", "Saved config file",
    };
    EXPECT_EQ(Lines(modGen::ReportLog), expected);
    EXPECT_EQ(shownReport, modGen::ReportLog);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "The config file has been fixed!");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(ui.messages[0].title, "Kestrune");
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_EQ(ui.fileRequests[0].first, "Config files|*.bin;*.xml");
    EXPECT_EQ(ui.fileRequests[0].second, programDir.path().string());

    // The backup is the file as it was; the container now holds the fix.
    EXPECT_EQ(ListFolder(configDir.path()), (std::vector<std::string>{"router.bin", "router_20060315143005.bak"}));
    EXPECT_EQ(ReadFile(configDir / "router_20060315143005.bak"), original);
    const std::string xml = modConvert::ReadContainer(ReadFile(path)).xml;
    EXPECT_NE(xml.find("<remote_admin>\n      <enabled>0</enabled>"), std::string::npos);
    EXPECT_NE(xml.find("<ntp_server>time.provider-isp.net</ntp_server>"), std::string::npos);
    EXPECT_NE(xml.find("<rule><id>20</id><action>drop</action></rule>"), std::string::npos);
    EXPECT_NE(xml.find("<privacy_type>1</privacy_type>"), std::string::npos);
}

TEST_F(FixRunTest, XmlRunHasNoContainerLinesAndNoBackup) {
    const std::string path = PlaceConfig("router.xml", "router.xml", false);
    auto run = StartRun(path);

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);

    const std::vector<std::string> expected = {
        "Kestrune v2.0.0", "Successfully loaded XML", "Applying fixes", "Changing Fix 0",
        "Skipping change to Fix 1", "Changing Fix 2", "Making WEP changes", "Changing Enable WEP",
        "Changing Set WEP privacy", "Saved config file",
    };
    EXPECT_EQ(Lines(modGen::ReportLog), expected);
    EXPECT_EQ(ListFolder(configDir.path()), std::vector<std::string>{"router.xml"});
    const std::string saved = ReadFile(path);
    EXPECT_NE(saved.find("<enabled>0</enabled>"), std::string::npos);
    // What no fix touched keeps its bytes: the declaration and the comment.
    EXPECT_EQ(saved.substr(0, 120), Source("samples/router.xml").substr(0, 120));
}

TEST_F(FixRunTest, FileExtensionDecidesBetweenContainerAndXml) {
    const struct {
        const char* name;
        bool bin;
        bool converts;
    } cases[] = {
        {"router.BIN", true, true},
        {"router.cfg", false, false},
        {"router", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        const std::string path = PlaceConfig("router.xml", c.name, c.bin);
        auto run = StartRun(path);
        EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);
        const auto lines = Lines(modGen::ReportLog);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Converting bin file to xml"), c.converts ? 1 : 0);
        EXPECT_EQ(run->IsBinFile, c.converts);
    }
}

TEST_F(FixRunTest, WepDecisionFollowsTheWirelessSettings) {
    const struct {
        const char* sample;
        const char* line;
    } cases[] = {
        {"router.xml", "Making WEP changes"},
        {"router-wpa.xml", "Skipping WEP changes as some form of wireless encryption already exists"},
        {"router-no-wireless.xml", "Skipping WEP changes as there are no wireless settings"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        auto run = StartRun(PlaceConfig(c.sample, c.sample, false));
        EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);
        const auto lines = Lines(modGen::ReportLog);
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end());
    }
}

TEST_F(FixRunTest, PrivacyTypeZeroWithoutWepPrivacyCountsAsEncrypted) {
    std::string xml = Source("samples/router.xml");
    const std::string wep = "        <wep_privacy>0</wep_privacy>\n";
    xml.erase(xml.find(wep), wep.size());
    WriteFile(configDir / "router.xml", xml);
    auto run = StartRun(configDir / "router.xml");
    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);
    EXPECT_NE(modGen::ReportLog.find("Skipping WEP changes as some form of wireless encryption already exists"),
              std::string::npos);
}

TEST_F(FixRunTest, VerboseModeChangesOnlyTheEntryLines) {
    modGen::VerboseMode = true;
    auto run = StartRun(PlaceConfig("router.xml", "router.xml", false));
    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);
    const std::vector<std::string> expected = {
        "Kestrune v2.0.0",
        "Successfully loaded XML",
        "Applying fixes",
        "Changing /config/system/remote_admin/enabled to 0",
        "Skipping change to /config/system/time/ntp_server",
        "Changing /config/firewall/rules/rule\xA4" "20/action to drop",
        "Making WEP changes",
        "Changing /config/modules/ap/settings/privacy_type to 1",
        "Changing /config/modules/ap/settings/wep_privacy to 1",
        "Saved config file",
    };
    EXPECT_EQ(Lines(modGen::ReportLog), expected);
}

TEST_F(FixRunTest, CancellingChangesNothing) {
    modGen::ReportLog = "earlier report\r\n";
    auto run = StartRun("");
    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Cancelled);
    EXPECT_EQ(modGen::ReportLog, "earlier report\r\n");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(shownReport.empty());
}

TEST_F(FixRunTest, MissingFileNeverReachesTheEarlierRunsDocument) {
    const std::string first = PlaceConfig("router.xml", "first.xml", false);
    auto run = StartRun(first);
    ASSERT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);
    const std::string afterFirstRun = ReadFile(first);
    ui.messages.clear();
    shownReport.clear();

    ui.fileAnswers.push_back(configDir / "gone.xml");
    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::MissingFile);

    EXPECT_EQ(ReadFile(first), afterFirstRun);
    EXPECT_FALSE(run->ConfigLoaded);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Error 53 - File not found"});
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(shownReport.empty());
    EXPECT_EQ(ListFolder(configDir.path()), std::vector<std::string>{"first.xml"});
}

TEST_F(FixRunTest, UnrecognisedContainerIsBackedUpAndLeftAlone) {
    const std::string path = configDir / "router.bin";
    WriteFile(path, "lmmc not a container");
    auto run = StartRun(path);

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::NotLoaded);

    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Bin file type not recognized.");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(ui.messages[1].text.rfind("XML load failed\r\n", 0), 0u);
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Critical);
    EXPECT_EQ(ReadFile(path), "lmmc not a container");
    EXPECT_EQ(ListFolder(configDir.path()), (std::vector<std::string>{"router.bin", "router_20060315143005.bak"}));
    EXPECT_TRUE(shownReport.empty());
}

TEST_F(FixRunTest, AnErrorInAFixEndsTheRunWithoutSaving) {
    WriteFile(programDir / "a_remote.fix", "[Router Fix]\r\np=/config/system/hostname\r\nv=x\r\np=/nowhere/at/all\r\nv=1\r\n");
    const std::string path = PlaceConfig("router.xml", "router.xml", false);
    const std::string original = ReadFile(path);
    auto run = StartRun(path);

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Failed);

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Error ", 0), 0u) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_TRUE(shownReport.empty());
}

TEST_F(FixRunTest, FailedWritesEndInTheErrorExitAndKeepTheOriginalWhole) {
    for (const bool bin : {true, false}) {
        SCOPED_TRACE(bin ? "container" : "xml");
        TempDir folder;
        const std::string path = folder / (bin ? "router.bin" : "router.xml");
        const std::string xml = Source("samples/router.xml");
        WriteFile(path, bin ? modConvert::XmlToBin(xml) : xml);
        const std::string original = ReadFile(path);

        // Below the size of any copy: the backup and the save both fail.
        const int result = kestrune::test::RunWithFileSizeLimit(512, [&] {
            modGen::ReportLog.clear();
            ui.fileAnswers = {path};
            ui.messages.clear();
            FixRun run(ui, programDir.path().string());
            run.Form_Load();
            const RunOutcome outcome = run.cmdDoAll_Click();
            const auto texts = MessageTexts();
            const bool backupReported =
                !bin || std::find(texts.begin(), texts.end(), "Backup Error 61 - Disk full") != texts.end();
            const bool errorExit = !texts.empty() && texts.back() == "Error 61 - Disk full";
            const bool neverSaved = modGen::ReportLog.find("Saved config file") == std::string::npos &&
                                    std::find(texts.begin(), texts.end(), "The config file has been fixed!") == texts.end();
            return (outcome == RunOutcome::Failed ? 0 : 1) | (backupReported ? 0 : 2) | (errorExit ? 0 : 4) |
                   (neverSaved ? 0 : 8);
        });

        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadFile(path), original);
        EXPECT_EQ(ListFolder(folder.path()).size(), 1u) << "a partial or temporary file was left";
    }
}

TEST_F(FixRunTest, AFolderInTheWayOfAWriteIsReportedAndKept) {
    const auto makeFolder = [](const std::string& path) {
        std::filesystem::create_directory(path);
        WriteFile(path + "/inside", "kept");
    };
    const struct {
        const char* name;
        bool bin;
        bool folderAtBackup;  // else the configuration becomes a folder just before the save
        std::string prefix;   // the message's, before the folder's path
        bool runGoesOn;
    } cases[] = {
        // A failed backup is shown and the run goes on, as for any other backup failure.
        {"backup name taken by a folder", true, true, "Backup Error 75 - Path/File access error: ", true},
        {"container replaced by a folder", true, false, "Error 75 - Path/File access error: ", false},
        {"XML file replaced by a folder", false, false, "Error 75 - Path/File access error: ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        const std::string path = folder / (c.bin ? "router.bin" : "router.xml");
        const std::string xml = Source("samples/router.xml");
        WriteFile(path, c.bin ? modConvert::XmlToBin(xml) : xml);
        const std::string backup = folder / "router_20060315143005.bak";
        if (c.folderAtBackup) makeFolder(backup);
        ui.messages.clear();
        auto run = StartRun(path);
        if (!c.folderAtBackup) {
            run->Serialise = [&](const modXML::XmlDocument& doc) {
                std::filesystem::remove(path);
                makeFolder(path);
                return doc.Xml();
            };
        }

        run->cmdDoAll_Click();

        const std::string inTheWay = c.folderAtBackup ? backup : path;
        std::vector<std::string> messages{c.prefix + inTheWay + " is a folder, not a file"};
        if (c.runGoesOn) messages.push_back("The config file has been fixed!");
        EXPECT_EQ(MessageTexts(), messages);
        EXPECT_TRUE(std::filesystem::is_directory(inTheWay));
        EXPECT_EQ(ListFolder(inTheWay), std::vector<std::string>{"inside"});
        for (const auto& name : ListFolder(folder.path())) {
            EXPECT_EQ(name.find(".kestrune-"), std::string::npos) << name;
        }
    }
}

TEST_F(FixRunTest, BackupNeverReplacesAnOlderBackup) {
    const std::string path = PlaceConfig("router.xml", "router.bin", true);
    WriteFile(configDir / "router_20060315143005.bak", "the older backup");
    auto run = StartRun(path);

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);

    EXPECT_EQ(ReadFile(configDir / "router_20060315143005.bak"), "the older backup");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"The config file has been fixed!"});
}

TEST_F(FixRunTest, BackupNameKeepsTheBaseNameOfTheLastComponent) {
    FixRun run(ui, programDir.path().string());
    run.Clock = [] { return LocalTime(2026, 1, 2, 3, 4, 5); };
    const std::string folder = configDir / "my.configs";
    std::filesystem::create_directory(folder);
    WriteFile(folder + "/Router.Home.BIN", "bytes");

    run.BackupConfig(folder + "/Router.Home.BIN");

    EXPECT_EQ(ReadFile(folder + "/Router.Home_20260102030405.bak"), "bytes");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FixRunTest, BackupFailureIsShownAndTheRunGoesOn) {
    FixRun run(ui, programDir.path().string());
    run.BackupConfig(configDir / "missing.bin");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Backup Error 53 - File not found");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(ui.messages[0].title, "Backing up config...");
}

TEST_F(FixRunTest, DryRunWritesNothing) {
    const std::string path = PlaceConfig("router.xml", "router.bin", true);
    const std::string original = ReadFile(path);
    auto run = StartRun(path);
    run->DryRun = true;

    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);

    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(ListFolder(configDir.path()), std::vector<std::string>{"router.bin"});
    EXPECT_EQ(Lines(modGen::ReportLog).back(), "Dry run: nothing was written");
}

TEST_F(FixRunTest, FixListIsSortedIgnoringCaseAndTheFirstFixIsLoaded) {
    TempDir folder;
    for (const char* name : {"b.fix", "a.fix", "fix_c.txt", "FIX_D.TXT", "E.FIX", "fix.wep", "fix_wep.txt", "other.txt",
                             "fix_.txt.bak", "notes.fix.txt"}) {
        WriteFile(folder / name, "[Router Fix]\r\np=/config/" + std::string(name) + "\r\n");
    }
    std::filesystem::create_directory(folder / "dir.fix");

    FixRun run(ui, folder.path().string());
    run.Form_Load();

    EXPECT_EQ(run.FixNames(),
              (std::vector<std::string>{"a.fix", "b.fix", "E.FIX", "fix_c.txt", "FIX_D.TXT", "fix_wep.txt"}));
    ASSERT_EQ(run.FixEntries.size(), 1u);
    EXPECT_EQ(run.FixEntries[0].Path, "/config/a.fix");
    EXPECT_EQ(run.WepEntries[0].Path, "/config/fix.wep");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FixRunTest, StartsWithoutAnyFixFile) {
    TempDir empty;
    FixRun run(ui, empty.path().string());
    run.Form_Load();

    EXPECT_TRUE(run.FixNames().empty());
    EXPECT_EQ(run.FixEntries.size(), 1u);
    EXPECT_EQ(run.FixEntries[0].Path, "");
    ASSERT_GE(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "No fix files (*.fix, fix_*.txt) were found in " + empty.path().string() + ".");
    EXPECT_NE(ui.messages[1].text.find("fix.wep"), std::string::npos) << ui.messages[1].text;
}

TEST_F(FixRunTest, WithoutAWepFixTheWepStepAppliesNothing) {
    std::filesystem::remove(programDir / "fix.wep");
    auto run = StartRun(PlaceConfig("router.xml", "router.xml", false));
    EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Fixed);
    const auto lines = Lines(modGen::ReportLog);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Skipping WEP changes as the WEP fix fix.wep could not be loaded"),
              lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "Making WEP changes"), lines.end());
}

TEST_F(FixRunTest, SelectingAFixReplacesTheEntriesExceptWhileFilling) {
    WriteFile(programDir / "b_other.fix", "[Router Fix]\r\np=/config/system/hostname\r\nv=router\r\n");
    FixRun run(ui, programDir.path().string());
    run.Form_Load();
    ASSERT_EQ(run.FixEntries.size(), 3u);

    run.FillingList = true;
    run.cboFixes_Click("b_other.fix");
    EXPECT_EQ(run.FixEntries.size(), 3u);

    run.FillingList = false;
    run.cboFixes_Click("b_other.fix");
    ASSERT_EQ(run.FixEntries.size(), 1u);
    EXPECT_EQ(run.FixEntries[0].Path, "/config/system/hostname");
}

TEST_F(FixRunTest, VerbosePasswordNeedsShiftAloneWithTheRightButtonAndTheExactText) {
    const std::string password = "M3XK8RB5QZ0LW7NT2HD9FJ4YPC6VG1SUE";
    const struct {
        int button;
        int shift;
        std::string answer;
        bool asked;
        bool enabled;
    } cases[] = {
        {2, 1, password, true, true},
        {1, 1, password, false, false},
        {2, 0, password, false, false},
        {2, 3, password, false, false},
        {2, 5, password, false, false},
        {4, 1, password, false, false},
        {2, 1, "m3xk8rb5qz0lw7nt2hd9fj4ypc6vg1sue", true, false},
        {2, 1, " " + password, true, false},
        {2, 1, password + " ", true, false},
        {2, 1, "", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.button) + "/" + std::to_string(c.shift) + " [" + c.answer + "]");
        FakeUserInterface fake;
        fake.textAnswers.push_back(c.answer);
        modGen::VerboseMode = false;
        FixRun run(fake, programDir.path().string());
        run.lblReport_MouseUp(c.button, c.shift);
        EXPECT_EQ(fake.textRequests.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(fake.textRequests[0].first, "Please enter the verbose password:");
            EXPECT_EQ(fake.textRequests[0].second, "Kestrune");
        }
        EXPECT_EQ(modGen::VerboseMode, c.enabled);
        EXPECT_EQ(fake.messages.size(), c.enabled ? 1u : 0u);
        if (c.enabled) {
            EXPECT_EQ(fake.messages[0].text, "Verbose mode enabled.");
            EXPECT_EQ(fake.messages[0].icon, MessageIcon::Information);
        }
    }
}

TEST_F(FixRunTest, AWrongPasswordLeavesVerboseModeOn) {
    modGen::VerboseMode = true;
    ui.textAnswers.push_back("wrong");
    FixRun run(ui, programDir.path().string());
    run.lblReport_MouseUp(2, 1);
    EXPECT_TRUE(modGen::VerboseMode);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FixRunTest, SavesThatDoNotReadBackEndInTheErrorExitAndWriteNothing) {
    using Serialiser = std::function<std::string(const modXML::XmlDocument&)>;
    using Packer = std::function<std::string(std::string_view)>;
    const Serialiser cutShort = [](const modXML::XmlDocument& doc) {
        const std::string xml = doc.Xml();
        return xml.substr(0, xml.rfind("</"));
    };
    const Packer damaged = [](std::string_view xml) {
        std::string bin = modConvert::XmlToBin(xml);
        bin.back() = static_cast<char>(bin.back() ^ 1);
        return bin;
    };
    const Packer otherText = [](std::string_view xml) { return modConvert::XmlToBin(std::string(xml) + " "); };
    const Packer noSignature = [](std::string_view xml) { return modConvert::XmlToBin(xml).substr(8); };
    const Packer headerOnly = [](std::string_view xml) { return modConvert::XmlToBin(xml).substr(0, 19); };
    const std::string notParsed = "Error -2147220735 - The fixed XML does not parse again (Start-end tags mismatch";
    const std::string notRead = "Error -2147220735 - The packed config container does not read back as the XML it "
                                "was packed from; nothing was saved";
    const struct {
        const char* name;
        bool bin;
        Serialiser serialise;
        Packer pack;
        std::string message;
    } cases[] = {
        {"XML cut short", false, cutShort, nullptr, notParsed},
        {"container of XML cut short", true, cutShort, nullptr, notParsed},
        {"payload damaged", true, nullptr, damaged, notRead},
        {"other text packed", true, nullptr, otherText, notRead},
        {"signature missing", true, nullptr, noSignature, notRead},
        {"header cut short", true, nullptr, headerOnly, notRead},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        const std::string path = folder / (c.bin ? "router.bin" : "router.xml");
        const std::string xml = Source("samples/router.xml");
        WriteFile(path, c.bin ? modConvert::XmlToBin(xml) : xml);
        ui.messages.clear();
        auto run = StartRun(path);
        if (c.serialise) run->Serialise = c.serialise;
        if (c.pack) run->Pack = c.pack;

        EXPECT_EQ(run->cmdDoAll_Click(), RunOutcome::Failed);

        const auto texts = MessageTexts();
        ASSERT_EQ(texts.size(), 1u) << "the check itself shows nothing";
        EXPECT_EQ(texts[0].substr(0, c.message.size()), c.message);
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
        EXPECT_EQ(ReadFile(path), c.bin ? modConvert::XmlToBin(xml) : xml);
        EXPECT_EQ(ListFolder(folder.path()).size(), c.bin ? 2u : 1u) << "the config and its backup only";
        EXPECT_EQ(modGen::ReportLog.find("Saved config file"), std::string::npos);
    }
}

TEST_F(FixRunTest, XmlTooLargeForTheContainerReaderIsNotSavedIntoAContainer) {
    // One value that no compression shrinks below the reader's room.
    std::mt19937 random(7);
    std::string value(70000, ' ');
    for (char& c : value) c = static_cast<char>('a' + random() % 26);
    WriteFile(programDir / "a_remote.fix", "[Router Fix]\r\np=/config/system/hostname\r\nv=" + value + "\r\n");
    for (const bool bin : {true, false}) {
        SCOPED_TRACE(bin ? "container" : "xml");
        ui.messages.clear();
        const std::string path = PlaceConfig("router.xml", bin ? "router.bin" : "router.xml", bin);
        const std::string original = ReadFile(path);
        auto run = StartRun(path);

        const RunOutcome outcome = run->cmdDoAll_Click();

        if (bin) {
            EXPECT_EQ(outcome, RunOutcome::Failed);
            const std::string size =
                std::to_string(Source("samples/router.xml").size() - std::string("home-gateway").size() + value.size());
            EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Error -2147220735 - The fixed XML has " + size +
                                                               " bytes, more than the 66,203 bytes that can be read "
                                                               "back from a config container; nothing was saved"});
            EXPECT_EQ(ReadFile(path), original);
        } else {
            // An XML file has no such limit.
            EXPECT_EQ(outcome, RunOutcome::Fixed);
            EXPECT_NE(ReadFile(path).find(value), std::string::npos);
        }
    }
}

TEST_F(FixRunTest, CloseReleasesTheCipher) {
    FixRun run(ui, programDir.path().string());
    run.Form_Load();
    ASSERT_NE(run.EncryptBlowfish, nullptr);
    run.Form_QueryUnload();
    EXPECT_EQ(run.EncryptBlowfish, nullptr);
}

}  // namespace
