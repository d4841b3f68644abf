#pragma once

#include "app/FixFile.h"
#include "cipher/clsBlowfish.h"
#include "common/UserInterface.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace modXML {
class XmlDocument;
}

namespace kestrune {

// How a press of the Fix button ended.
enum class RunOutcome {
    NoFix,        // no fix is loaded: a warning said so; no file was chosen, read or written
    Cancelled,    // no file chosen: nothing happened
    MissingFile,  // the chosen file does not exist: nothing read, applied or saved
    NotLoaded,    // the configuration did not load; the loader told the user
    Failed,       // the error exit: "Error N - description" was shown, nothing saved
    Fixed,        // the configuration was saved (or, in a dry run, would have been)
};

// The state and the work behind the main window: start-up, the fix list,
// the fix run from the file choice to the saved file, backups. It talks to
// the user only through the UserInterface it is given, so the window, the
// command line and the tests drive the same code.
class FixRun {
public:
    // The file-open dialog's filter.
    static inline const std::string ConfigFilter = "Config files|*.bin;*.xml";
    // The fix applied when a configuration has wireless settings without encryption.
    static inline const std::string WepFixName = "fix.wep";

    // programFolder is where the fix files lie and where the file dialog starts.
    FixRun(UserInterface& ui, std::string programFolder);

    // Start-up: Prepare, FillFixList, the first fix selected and loaded,
    // then LoadWepFix.
    void Form_Load();
    // The cipher object and the container codec's tables.
    void Prepare();
    // The fix list from the program's folder.
    void FillFixList();
    // "fix.wep" of the program's folder into WepEntries.
    void LoadWepFix();

    // The fix files of the program's folder ("*.fix" and "fix_*.txt", letter
    // case ignored), sorted ignoring case; "fix.wep" is never among them.
    static std::vector<std::string> ListFixFiles(const std::string& folder);

    // The names in the fix list, as start-up filled it.
    const std::vector<std::string>& FixNames() const { return fixNames_; }

    // The selection handler of the fix list: loads the named fix into
    // FixEntries, unless the list is being filled.
    void cboFixes_Click(const std::string& name);

    // Loads a fix from any folder into FixEntries (the command line's --fix).
    void LoadFix(const std::string& folder, const std::string& name);

    // The Fix button: choose a file, open, fix, save, report.
    RunOutcome cmdDoAll_Click();

    // The close handler: releases the cipher object.
    void Form_QueryUnload();

    // The right button released over the report label: with Shift alone,
    // asks for the verbose password and turns verbose mode on when it matches.
    void lblReport_MouseUp(int Button, int Shift);

    // The steps of the run, in the order the Fix button takes them.
    // OpenConfig is false when the chosen file does not exist, and raises
    // RequireReplaceable's error for one that could not be saved.
    bool OpenConfig();
    void ApplyFixes();
    // Writes nothing unless the bytes read back, through the program's own
    // readers, as the document; a mismatch raises SaveNotVerified.
    void SaveConfig();
    void BackupConfig(const std::string& path);

    // Window state.
    FixEntryList FixEntries{FixEntry{}};
    FixEntryList WepEntries{FixEntry{}};
    bool ConfigLoaded = false;
    bool IsBinFile = false;
    bool FillingList = false;
    std::string ChosenFile;
    std::string ConfigFile;
    std::unique_ptr<clsBlowfish> EncryptBlowfish;

    // Called with the report log after a successful run, before the success
    // message; the window puts it into its report box.
    std::function<void(const std::string&)> ShowReport;
    // The local time that names a backup; replaceable so tests can fix it.
    std::function<std::time_t()> Clock = [] { return std::time(nullptr); };
    // The save's two transformations, the document's serialisation and the
    // container packer; replaceable so tests can make them misbehave.
    std::function<std::string(modXML::XmlDocument&)> Serialise;
    std::function<std::string(std::string_view)> Pack;
    // A dry run does everything in memory: no backup, no save.
    bool DryRun = false;

    const std::string& ProgramFolder() const { return programFolder_; }

private:
    UserInterface& ui_;
    std::string programFolder_;
    std::vector<std::string> fixNames_;
};

// The first line of every report: "Kestrune v" and the version.
std::string VersionLine();

}  // namespace kestrune
