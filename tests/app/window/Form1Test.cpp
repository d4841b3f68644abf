#include "WindowTestSupport.h"

#include "app/window/Form1.h"
#include "button/UltraButton.h"
#include "common/modGen.h"

#include "TestSupport.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest-spi.h>

using namespace kestrune::test;

namespace {

class Form1Test : public ::testing::Test {
protected:
    void TearDown() override { modGen::VerboseMode = false; }

    // The window on the sample fixes, shown and active.
    void Open() {
        std::filesystem::copy(SourceDir() / "fixes", program.path());
        form = std::make_unique<kestrune::Form1>(program.path().string(), kestrune::QtUserInterface::Dialogs::Qt);
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    template <class T = QWidget> T* Control(const char* name) { return form->findChild<T*>(name); }
    void Click(const char* button) { QTest::mouseClick(Control(button), Qt::LeftButton); }

    TempDir program;
    std::unique_ptr<kestrune::Form1> form;
};

TEST(DialogWatch, ADialogNoTestExpectsFailsTheTestAtOnceWithItsText) {
    kestrune::QtUserInterface ui(nullptr);
    EXPECT_NONFATAL_FAILURE(ui.ShowMessage("Not now.", kestrune::MessageIcon::Warning), "warning Kestrune: Not now.");
}

TEST_F(Form1Test, WholeRunFixesTheChosenContainerAndShowsTheReport) {
    TempDir configs;
    const std::string original = ReadFile((SourceDir() / "samples" / "router.bin").string());
    const std::string config = configs / "router.bin";
    WriteFile(config, original);
    Open();
    DialogScript script({QString::fromStdString(config), ""});
    Click("cmdDoAll");
    const QString folder = QDir(program.path()).absolutePath();
    EXPECT_EQ(script.seen, QStringList({"file Open: Config files (*.bin *.xml) in " + folder,
                                        "information Kestrune: The config file has been fixed!"}));
    const QString report = Control<QPlainTextEdit>("txtReport")->toPlainText();
    EXPECT_EQ(report, QString::fromLatin1(modGen::ReportLog).replace("\r\n", "\n"));
    EXPECT_TRUE(report.startsWith("Kestrune v2.0.0\nConverting bin file to xml\n")) << report.toStdString();
    EXPECT_TRUE(ReadFile(config) != original);
}

// The outer height in twips is 1380 collapsed and 5055 expanded: the client
// area is 6840 twips wide under a 465-twip title band, at 15 twips a pixel.
TEST_F(Form1Test, ReportToggleExpandsOnExactlyTheCollapsedHeightAndCollapsesOnAnyOther) {
    Open();
    EXPECT_EQ(form->Height(), 1380);
    auto* more = Control<kestrune::UltraButton>("cmdMore");
    for (const int from : {1380, 5055, 1365, 1395, 3000}) {
        form->SetHeight(from);
        Click("cmdMore");
        const bool expanded = from == 1380;
        EXPECT_EQ(form->Height(), expanded ? 5055 : 1380) << "from " << from;
        EXPECT_EQ(form->size(), QSize(456, expanded ? 306 : 61));
        EXPECT_EQ(more->Caption(), expanded ? "Hide &Report" : "Show &Report");
        EXPECT_EQ(more->toolTip(), expanded ? "Close the report" : "View the report");
    }
}

// The core's own tests hold the rule; the window passes the release on.
TEST_F(Form1Test, AShiftRightClickOnTheReportLabelAsksForTheVerbosePassword) {
    Open();
    Click("cmdMore");
    DialogScript script({"M3XK8RB5QZ0LW7NT2HD9FJ4YPC6VG1SUE", ""});
    QTest::mouseClick(Control("lblReport"), Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(script.seen, QStringList({"input Kestrune: Please enter the verbose password:",
                                        "information Kestrune: Verbose mode enabled."}));
    EXPECT_TRUE(modGen::VerboseMode);
}

// Filling the list loads nothing; selecting its first item loads that fix once.
TEST_F(Form1Test, StartUpLoadsTheFirstFixOnceAndASelectionLoadsAgain) {
    WriteFile(program / "a_empty.fix", "[Router Fix]\r\n");
    DialogScript script({"", ""});
    Open();
    auto* list = Control<QComboBox>("cboFixes");
    EXPECT_EQ(list->currentText(), "a_empty.fix");
    EXPECT_EQ(script.seen, QStringList({"warning Kestrune: No fixes found in file."}));
    list->setCurrentIndex(list->findText("fix_ntp.txt"));
    list->setCurrentIndex(0);
    EXPECT_EQ(script.seen.size(), 2);
}

// Return and Enter press the focused button, else the Fix button, which then
// shows as the window's default button.
TEST_F(Form1Test, ReturnPressesTheFocusedButtonOrElseTheFixButton) {
    Open();
    Control("cmdMore")->setFocus();
    QTest::keyClick(Control("cmdMore"), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(form->Height(), 5055);
    Control("cboFixes")->setFocus();
    EXPECT_TRUE(Control<kestrune::UltraButton>("cmdDoAll")->DefaultIndication());
    DialogScript script({std::nullopt});
    QTest::keyClick(Control("cboFixes"), Qt::Key_Return);
    EXPECT_EQ(script.seen.size(), 1);
}

// While the report is hidden, what lies below the window's edge takes no
// focus, so that no key loads or runs a fix unseen: Tab and arrows go round
// the buttons, and hiding the report takes the focus from the fix list.
TEST_F(Form1Test, OnlyTheControlsInViewTakeTheFocus) {
    Open();
    const struct { bool shown; const char* from; Qt::Key key; Qt::KeyboardModifiers with; const char* to; } rows[] = {
        {false, "cmdMore", Qt::Key_Tab, {}, "cmdDoAll"},         {false, "cmdDoAll", Qt::Key_Backtab, {}, "cmdMore"},
        {false, "cmdMore", Qt::Key_Down, {}, "cmdDoAll"},        {false, "cmdDoAll", Qt::Key_Left, {}, "cmdMore"},
        {true, "cboFixes", Qt::Key_R, Qt::AltModifier, "cmdMore"}, {true, "cmdMore", Qt::Key_Tab, {}, "cboFixes"},
        {true, "cboFixes", Qt::Key_Tab, {}, "txtReport"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.from << ", key " << row.key << (row.shown ? ", shown" : ", hidden"));
        form->SetHeight(row.shown ? 5055 : 1380);
        Control(row.from)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), row.key, row.with);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), row.to);
        EXPECT_EQ(Control<QComboBox>("cboFixes")->currentIndex(), 0);
    }
}

// On Linux a combo box's name is its current item, so the fix list is known
// by the label it is labelled by.
TEST_F(Form1Test, ScreenReadersKnowEachControlByItsCaptionOrLabelAndItsTooltip) {
    Open();
    const struct { const char* control; QAccessible::Role role; const char* name, *label, *tip; } rows[] = {
        {"cmdDoAll", QAccessible::Button, "Fix!", nullptr, "Quick fix!"},
        {"cmdMore", QAccessible::Button, "Show Report", nullptr, "View the report"},
        {"cboFixes", QAccessible::ComboBox, nullptr, "Fix file:", ""},
        {"txtReport", QAccessible::EditableText, "Fix report:", "Fix report:", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.control);
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(Control(row.control));
        EXPECT_EQ(control->role(), row.role);
        if (row.name != nullptr) { EXPECT_EQ(control->text(QAccessible::Name), row.name); }
        const auto labels = control->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), row.label != nullptr ? 1 : 0);
        for (const auto& [label, relation] : labels) EXPECT_EQ(label->text(QAccessible::Name), row.label);
        EXPECT_EQ(control->text(QAccessible::Description), row.tip);
    }
}

// A message shows a file's name as the file system has it (UTF-8 here).
TEST_F(Form1Test, MessagesShowNamesBeyondAsciiAsTheyAre) {
    TempDir configs;
    const std::string config = configs / "jos\xC3\xA9.bin";
    WriteFile(config, "bytes");
    std::filesystem::permissions(config, std::filesystem::perms::owner_read);
    Open();
    DialogScript script({QString::fromUtf8(config), ""});
    Click("cmdDoAll");
    const QString name = QString::fromStdString(configs.path()) + QStringLiteral("/jos\u00E9.bin");
    EXPECT_EQ(script.seen.value(1), "warning Kestrune: Error 75 - Path/File access error: " + name + " is read-only");
}

}  // namespace

int main(int argc, char** argv) { return RunQtTests(argc, argv, WatchDialogs); }
