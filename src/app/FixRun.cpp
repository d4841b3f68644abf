#include "app/FixRun.h"

#include "common/Errors.h"
#include "common/SafeWrite.h"
#include "common/Version.h"
#include "common/modGen.h"
#include "container/modConvert.h"
#include "xmlfix/modXML.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <sys/stat.h>

namespace kestrune {
namespace {

const std::string VerbosePassword = "M3XK8RB5QZ0LW7NT2HD9FJ4YPC6VG1SUE";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsFixFileName(const std::string& name) {
    const std::string lower = Lower(name);
    const auto endsWith = [&](const std::string& tail) {
        return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(".fix") || (lower.rfind("fix_", 0) == 0 && endsWith(".txt"));
}

// A name that leads to nothing. Anything that is there, a folder or a pipe
// included, is the chosen file, to be refused by name if it is no file.
bool Missing(const std::string& path) {
    struct stat st {};
    return path.empty() || (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR));
}

// A fix that holds no path would make the run fail on its empty entry.
bool HasEntries(const FixEntryList& entries) {
    return std::any_of(entries.begin(), entries.end(), [](const FixEntry& e) { return !e.Path.empty(); });
}

RunError NotVerified(const std::string& why) {
    return RunError(ErrorNumber::SaveNotVerified, why + "; nothing was saved");
}

// A container must give back exactly the XML it was packed from: a larger
// XML would be saved and never read again, and a packer fault would lose
// the configuration.
void VerifyContainer(const std::string& bytes, const std::string& xml) {
    modConvert::ReadResult read;
    try {
        read = modConvert::ReadContainer(bytes);
    } catch (const RunError&) {
        read.status = modConvert::ReadStatus::DamagedStream;
    }
    if (read.status == modConvert::ReadStatus::TooLarge) {
        throw NotVerified("The fixed XML has " + std::to_string(xml.size()) +
                          " bytes, more than the " + modConvert::ReaderRoomText() +
                          " bytes that can be read back from a config container");
    }
    if (read.status != modConvert::ReadStatus::Decompressed || read.xml != xml) {
        throw NotVerified("The packed config container does not read back as the XML it was packed from");
    }
}

void VerifyParses(std::string& xml) {
    const modXML::ParseOutcome outcome = modXML::XmlDocument::Check(xml);
    if (!outcome.ok) {
        throw NotVerified("The fixed XML does not parse again (" + outcome.reason + " at position " +
                          std::to_string(outcome.position) + ")");
    }
}

std::string TimeStamp(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    return stamp;
}

}  // namespace

std::string VersionLine() {
    return "Kestrune v" + std::to_string(VersionMajor) + "." + std::to_string(VersionMinor) + "." +
           std::to_string(VersionRevision);
}

FixRun::FixRun(UserInterface& ui, std::string programFolder)
    : Serialise([](modXML::XmlDocument& doc) { return doc.TakeXml(); }),
      Pack([](std::string_view xml) { return modConvert::XmlToBin(xml); }),
      ui_(ui),
      programFolder_(std::move(programFolder)) {}

std::vector<std::string> FixRun::ListFixFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (IsFixFileName(name) && entry.is_regular_file(ec)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const auto la = Lower(a);
        const auto lb = Lower(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

void FixRun::Form_Load() {
    Prepare();
    FillFixList();
    if (fixNames_.empty()) {
        // One empty entry, as for an empty fix file: the run says no fix is loaded.
        FixEntries = FixEntryList{FixEntry{}};
        ui_.ShowMessage("No fix files (*.fix, fix_*.txt) were found in " + programFolder_ + ".",
                        MessageIcon::Warning);
    } else {
        cboFixes_Click(fixNames_.front());
    }
    LoadWepFix();
}

void FixRun::Prepare() {
    EncryptBlowfish = std::make_unique<clsBlowfish>();
    modConvert::InitContainerCodec();
}

void FixRun::FillFixList() {
    FillingList = true;
    fixNames_ = ListFixFiles(programFolder_);
    FillingList = false;
}

void FixRun::LoadWepFix() {
    if (!EncryptBlowfish) EncryptBlowfish = std::make_unique<clsBlowfish>();
    LoadFixFile(programFolder_, WepFixName, WepEntries, *EncryptBlowfish, ui_);
}

void FixRun::cboFixes_Click(const std::string& name) {
    if (FillingList) return;
    LoadFix(programFolder_, name);
}

void FixRun::LoadFix(const std::string& folder, const std::string& name) {
    if (!EncryptBlowfish) EncryptBlowfish = std::make_unique<clsBlowfish>();
    LoadFixFile(folder, name, FixEntries, *EncryptBlowfish, ui_);
}

void FixRun::Form_QueryUnload() { EncryptBlowfish.reset(); }

void FixRun::lblReport_MouseUp(int Button, int Shift) {
    if (Button != 2 || Shift != 1) return;
    const std::string answer = ui_.AskForText("Please enter the verbose password:", ApplicationTitle);
    if (answer != VerbosePassword) return;
    modGen::VerboseMode = true;
    ui_.ShowMessage("Verbose mode enabled.", MessageIcon::Information);
}

RunOutcome FixRun::cmdDoAll_Click() {
    // Without a fix the run could only fail, and only after a backup.
    if (!HasEntries(FixEntries)) {
        ui_.ShowMessage("No fix is loaded, so there is nothing to apply. Choose a fix that loads without a warning, "
                        "or add fix files (*.fix, fix_*.txt) to " + programFolder_ + ".",
                        MessageIcon::Warning);
        return RunOutcome::NoFix;
    }
    const std::string chosen = ui_.ChooseFileToOpen(ConfigFilter, programFolder_);
    if (chosen.empty()) return RunOutcome::Cancelled;
    ChosenFile = chosen;

    try {
        modGen::ReportLog.clear();
        modGen::AddReportLine(VersionLine());

        if (!OpenConfig()) {
            // Nothing of an earlier run may be applied or saved in its place.
            ui_.ShowMessage(RunError(ErrorNumber::FileNotFound).message(), MessageIcon::Warning);
            return RunOutcome::MissingFile;
        }
        if (!ConfigLoaded) return RunOutcome::NotLoaded;

        ApplyFixes();
        SaveConfig();
        if (ShowReport) ShowReport(modGen::ReportLog);
        ui_.ShowMessage("The config file has been fixed!", MessageIcon::Information);
        return RunOutcome::Fixed;
    } catch (const RunError& e) {
        ui_.ShowMessage(e.message(), MessageIcon::Warning);
    } catch (const std::bad_alloc&) {
        ui_.ShowMessage(RunError(ErrorNumber::OutOfMemory).message(), MessageIcon::Warning);
    }
    return RunOutcome::Failed;
}

bool FixRun::OpenConfig() {
    // A run whose file is missing must not reach the previous run's document.
    ConfigLoaded = false;
    modXML::ConfigDoc.Release();
    if (Missing(ChosenFile)) return false;
    // A file that cannot be saved, or whose save would reach only one of its
    // names, is refused before anything is read or backed up. A dry run
    // refuses it too, as it is to tell what the real run would do.
    RequireReplaceable(ChosenFile);

    ConfigFile = ChosenFile;
    if (Lower(modGen::GetExtension(ConfigFile)) == "bin") {
        modGen::AddReportLine("Converting bin file to xml");
        IsBinFile = true;
        if (!DryRun) BackupConfig(ConfigFile);
        const std::string xml = modConvert::BinToXml(ConfigFile, ui_);
        ConfigLoaded = modXML::LoadConfigXML(modXML::ConfigDoc, xml, true, ui_);
    } else {
        IsBinFile = false;
        ConfigLoaded = modXML::LoadConfigXML(modXML::ConfigDoc, ConfigFile, false, ui_);
    }
    return true;
}

void FixRun::ApplyFixes() {
    modGen::AddReportLine("Applying fixes");
    for (std::size_t i = 0; i < FixEntries.size(); ++i) {
        const FixEntry& entry = FixEntries[i];
        modXML::ApplyFixEntry(modXML::ConfigDoc, entry.Path, entry.Attribute, entry.Value, "Fix " + std::to_string(i));
    }

    const std::string wireless =
        modXML::GetNodeValue(modXML::ConfigDoc, "/config/modules/ap/settings/privacy_type", "") +
        modXML::GetNodeValue(modXML::ConfigDoc, "/config/modules/ap/settings/wep_privacy", "");
    if (wireless == "00") {
        if (!HasEntries(WepEntries)) {
            modGen::AddReportLine("Skipping WEP changes as the WEP fix " + WepFixName + " could not be loaded");
            return;
        }
        modGen::AddReportLine("Making WEP changes");
        for (const FixEntry& entry : WepEntries) {
            modXML::ApplyFixEntry(modXML::ConfigDoc, entry.Path, entry.Attribute, entry.Value, entry.Description);
        }
    } else if (wireless.empty()) {
        modGen::AddReportLine("Skipping WEP changes as there are no wireless settings");
    } else {
        modGen::AddReportLine("Skipping WEP changes as some form of wireless encryption already exists");
    }
}

void FixRun::SaveConfig() {
    if (IsBinFile) modGen::AddReportLine("Converting xml back to bin file");
    std::string xml = Serialise(modXML::ConfigDoc);
    // The check below parses the XML again: the document's own tree goes
    // first (serialising has already given most of it back), so that a
    // large configuration is never held twice.
    modXML::ConfigDoc.Release();
    const std::string packed = IsBinFile ? Pack(xml) : std::string();
    const std::string& bytes = IsBinFile ? packed : xml;
    if (IsBinFile) VerifyContainer(bytes, xml);
    VerifyParses(xml);
    if (!DryRun) WriteFileSafely(ConfigFile, bytes);
    modGen::AddReportLine(DryRun ? "Dry run: nothing was written" : "Saved config file");
}

void FixRun::BackupConfig(const std::string& path) {
    try {
        const std::string ext = modGen::GetExtension(path);
        const std::string name = path.substr(0, path.size() - ext.size() - 1) + "_" + TimeStamp(Clock()) + ".bak";
        WriteFileSafely(name, modGen::ReadWholeFile(path), WriteMode::CreateNew, path);
    } catch (const RunError& e) {
        // Two runs in one second: the backup already there is the older one,
        // nearer the original, and is kept without a word.
        if (e.number() == ErrorNumber::FileAlreadyExists) return;
        ui_.ShowMessage("Backup " + e.message(), MessageIcon::Critical, "Backing up config...");
    }
}

}  // namespace kestrune
