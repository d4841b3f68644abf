#include "WindowTestSupport.h"

#include "app/window/Form1.h"
#include "button/UltraButton.h"
#include "common/modGen.h"

#include "TestSupport.h"

#include <QAccessible>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using kestrune::Form1;
using kestrune::QtUserInterface;
using kestrune::UltraButton;
using kestrune::test::DialogScript;
using kestrune::test::ListFolder;
using kestrune::test::PlaceSampleFixes;
using kestrune::test::ReadFile;
using kestrune::test::SourceDir;
using kestrune::test::TempDir;
using kestrune::test::WriteFile;

void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

const std::string Password = "M3XK8RB5QZ0LW7NT2HD9FJ4YPC6VG1SUE";

// The window's control of that name.
template <class T>
T* Control(Form1& form, const char* name) {
    T* control = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

// The pixels text inks when drawn from the top left, wrapped at wrapWidth
// when that is not 0; a caption's "&" marks are drawn as the button draws them.
QRect InkBox(const QFont& font, const QString& text, int wrapWidth) {
    QImage canvas(600, 200, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | (wrapWidth > 0 ? Qt::TextWordWrap : 0);
        painter.drawText(QRect(0, 0, wrapWidth > 0 ? wrapWidth : canvas.width(), canvas.height()), flags, text);
    }
    QRect box;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            if (canvas.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The text a control shows.
QString TextOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<UltraButton*>(control)) return button->Caption();
    if (auto* box = qobject_cast<QPlainTextEdit*>(control)) return box->toPlainText();
    return {};
}

class Form1Test : public ::testing::Test {
protected:
    void SetUp() override {
        modGen::VerboseMode = false;
        PlaceSampleFixes(program.path());
    }
    void TearDown() override { modGen::VerboseMode = false; }

    std::unique_ptr<Form1> Open() {
        return std::make_unique<Form1>(program.path().string(), QtUserInterface::Dialogs::Qt);
    }

    TempDir program;
};

TEST_F(Form1Test, ControlsSitWhereTheLayoutPutsThemWithTheirTextsAndFonts) {
    DialogScript script;
    auto form = Open();
    EXPECT_TRUE(script.seen.empty());

    const struct {
        const char* name;
        QRect geometry;
        const char* text;  // null: not checked here
        bool bold;
    } controls[] = {
        {"lblInfo", {8, 8, 281, 33}, nullptr, false},
        {"lblLink", {32, 40, 233, 17}, nullptr, true},
        {"cmdDoAll", {304, 8, 65, 41}, "&Fix!", false},
        {"cmdMore", {376, 8, 73, 41}, "Show &Report", false},
        {"lblFix", {168, 66, 41, 17}, "Fix file:", false},
        {"cboFixes", {208, 64, 241, 21}, nullptr, false},
        {"lblReport", {8, 72, 65, 17}, "Fix report:", true},
        {"txtReport", {8, 88, 441, 209}, "Report", false},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* control = Control<QWidget>(*form, c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), c.geometry);
        if (c.text != nullptr) {
            EXPECT_EQ(TextOf(control), QString::fromLatin1(c.text));
        }
        const QFont font = qobject_cast<UltraButton*>(control) ? static_cast<UltraButton*>(control)->Font()
                                                               : control->font();
        EXPECT_EQ(font.pointSizeF(), 8.25);
        EXPECT_EQ(font.bold(), c.bold);
        // No text is cut off: a label's text inks inside its box, a button's
        // caption inside the border and bevel, 3 pixels on each side.
        if (auto* label = qobject_cast<QLabel*>(control)) {
            const QRect ink = InkBox(label->font(), label->text(), label->wordWrap() ? c.geometry.width() : 0);
            EXPECT_LT(ink.right(), c.geometry.width());
            EXPECT_LT(ink.bottom(), c.geometry.height());
        }
        if (auto* button = qobject_cast<UltraButton*>(control)) {
            QStringList captions{button->Caption()};
            if (button->objectName() == "cmdMore") captions << "Hide &Report";
            for (const QString& caption : captions) {
                EXPECT_LE(InkBox(button->Font(), caption, 0).width(), c.geometry.width() - 6) << caption.toStdString();
            }
        }
    }

    EXPECT_EQ(form->size(), QSize(456, 61));
    EXPECT_EQ(form->Height(), Form1::CollapsedHeight);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowTitle().startsWith("Kestrune ("));
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(Control<UltraButton>(*form, "cmdDoAll")->toolTip(), "Quick fix!");
    EXPECT_EQ(Control<UltraButton>(*form, "cmdMore")->toolTip(), "View the report");
    auto* link = Control<QLabel>(*form, "lblLink");
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(Control<QPlainTextEdit>(*form, "txtReport")->isReadOnly());
}

// What a screen reader learns of each control through Qt's accessibility
// interface; Fix is pressed through it too. On Linux a combo box's name is
// its current item, so the list is known by the label it is labelled by.
TEST_F(Form1Test, ScreenReadersKnowEachControlByItsLabelAndPressFix) {
    auto form = Open();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const auto access = [&](const char* name) {
        return QAccessible::queryAccessibleInterface(Control<QWidget>(*form, name));
    };

    const struct {
        const char* control;
        QAccessible::Role role;
        const char* name;         // null: not the control's to say
        const char* label;        // null: labelled by no label
        const char* description;  // null: none
        bool focused;
    } controls[] = {
        {"cmdDoAll", QAccessible::Button, "Fix!", nullptr, "Quick fix!", true},
        {"cmdMore", QAccessible::Button, "Show Report", nullptr, "View the report", false},
        {"cboFixes", QAccessible::ComboBox, nullptr, "Fix file:", nullptr, false},
        {"txtReport", QAccessible::EditableText, "Fix report:", "Fix report:", nullptr, false},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.control);
        QAccessibleInterface* control = access(c.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->role(), c.role);
        if (c.name != nullptr) {
            EXPECT_EQ(control->text(QAccessible::Name), QString::fromLatin1(c.name));
        }
        const auto labels = control->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), c.label != nullptr ? 1 : 0);
        if (c.label != nullptr) {
            EXPECT_EQ(labels[0].first->text(QAccessible::Name), QString::fromLatin1(c.label));
        }
        EXPECT_EQ(control->text(QAccessible::Description), QString::fromLatin1(c.description ? c.description : ""));
        EXPECT_TRUE(control->state().focusable);
        EXPECT_FALSE(control->state().disabled);
        EXPECT_EQ(control->state().focused, c.focused);
    }

    QAccessibleActionInterface* more = access("cmdMore")->actionInterface();
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(more->keyBindingsForAction(QAccessibleActionInterface::pressAction()), QStringList("Alt+R"));
    more->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(access("cmdMore")->text(QAccessible::Name), "Hide Report");
    EXPECT_EQ(access("cmdMore")->text(QAccessible::Description), "Close the report");

    DialogScript script;
    script.Cancel();
    access("cmdDoAll")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(script.Kinds(), QStringList({"file"}));
}

TEST_F(Form1Test, ReportToggleSwitchesOnExactlyTheCollapsedHeight) {
    auto form = Open();
    auto* more = Control<UltraButton>(*form, "cmdMore");
    const auto expectState = [&](int height, const char* caption, const char* tip) {
        EXPECT_EQ(form->Height(), height);
        EXPECT_EQ(form->height() * 15 + 465, height);
        EXPECT_EQ(more->Caption(), QString::fromLatin1(caption));
        EXPECT_EQ(more->toolTip(), QString::fromLatin1(tip));
    };

    QTest::mouseClick(more, Qt::LeftButton);
    expectState(5055, "Hide &Report", "Close the report");
    EXPECT_EQ(form->size(), QSize(456, 306));
    QTest::mouseClick(more, Qt::LeftButton);
    expectState(1380, "Show &Report", "View the report");

    // Any height but exactly 1380 counts as shown, whatever the caption says.
    for (const int odd : {1365, 1395, 3000, 5055}) {
        SCOPED_TRACE(odd);
        form->SetHeight(odd);
        ASSERT_EQ(form->Height(), odd);
        QTest::mouseClick(more, Qt::LeftButton);
        expectState(1380, "Show &Report", "View the report");
    }
}

TEST_F(Form1Test, VerbosePasswordOnlyOnShiftRightReleaseOverTheReportLabel) {
    auto form = Open();
    QTest::mouseClick(Control<UltraButton>(*form, "cmdMore"), Qt::LeftButton);
    auto* label = Control<QLabel>(*form, "lblReport");

    const struct {
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        const char* answer;  // null: cancel
        bool asked;
        bool enabled;
    } cases[] = {
        {Qt::RightButton, Qt::ShiftModifier, Password.c_str(), true, true},
        {Qt::LeftButton, Qt::ShiftModifier, Password.c_str(), false, false},
        {Qt::RightButton, Qt::NoModifier, Password.c_str(), false, false},
        {Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, Password.c_str(), false, false},
        {Qt::RightButton, Qt::ShiftModifier | Qt::AltModifier, Password.c_str(), false, false},
        {Qt::MiddleButton, Qt::ShiftModifier, Password.c_str(), false, false},
        {Qt::RightButton, Qt::ShiftModifier, "m3xk8rb5qz0lw7nt2hd9fj4ypc6vg1sue", true, false},
        {Qt::RightButton, Qt::ShiftModifier, nullptr, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "button " << c.button << ", modifiers " << c.modifiers.toInt()
                                          << ", answer " << (c.answer ? c.answer : "(cancel)"));
        modGen::VerboseMode = false;
        DialogScript script;
        if (c.answer != nullptr) {
            script.Type(QString::fromLatin1(c.answer)).Ok();
        } else {
            script.Cancel();
        }
        QTest::mousePress(label, c.button, c.modifiers);
        QTest::mouseRelease(label, c.button, c.modifiers);

        QStringList expected;
        if (c.asked) expected << "input";
        if (c.enabled) expected << "message";
        ASSERT_EQ(script.Kinds(), expected);
        if (c.asked) {
            EXPECT_EQ(script.seen[0].text, "Please enter the verbose password:");
            EXPECT_EQ(script.seen[0].title, "Kestrune");
        }
        if (c.enabled) {
            EXPECT_EQ(script.seen[1].text, "Verbose mode enabled.");
            EXPECT_EQ(script.seen[1].icon, QMessageBox::Information);
            EXPECT_EQ(script.seen[1].title, "Kestrune");
        }
        EXPECT_EQ(modGen::VerboseMode, c.enabled);
    }
}

TEST_F(Form1Test, WholeRunFixesTheChosenContainerAndShowsTheReport) {
    TempDir configs;
    const std::string original = ReadFile((SourceDir() / "samples" / "router.bin").string());
    const std::string config = configs / "router.bin";
    WriteFile(config, original);

    auto form = Open();
    form->show();
    DialogScript script;
    script.Choose(QString::fromStdString(config)).Ok();
    QTest::mouseClick(Control<UltraButton>(*form, "cmdDoAll"), Qt::LeftButton);

    ASSERT_EQ(script.Kinds(), QStringList({"file", "message"}));
    EXPECT_EQ(script.seen[0].text, "Config files (*.bin *.xml)");
    EXPECT_EQ(script.seen[0].folder, QDir(QString::fromStdString(program.path().string())).absolutePath());
    EXPECT_EQ(script.seen[1].text, "The config file has been fixed!");
    EXPECT_EQ(script.seen[1].icon, QMessageBox::Information);
    EXPECT_EQ(script.seen[1].title, "Kestrune");

    const QString report = Control<QPlainTextEdit>(*form, "txtReport")->toPlainText();
    QString expected = QString::fromLatin1(modGen::ReportLog);
    expected.replace("\r\n", "\n");
    EXPECT_EQ(report, expected);
    EXPECT_TRUE(report.startsWith("Kestrune v2.0.0\nConverting bin file to xml\nSuccessfully loaded XML\n"));
    EXPECT_TRUE(report.endsWith("Converting xml back to bin file\nSaved config file\n"));
    EXPECT_FALSE(report.contains('\r'));

    // The bytes are compared whole; a failure should not print a container.
    EXPECT_TRUE(ReadFile(config) != original);
    const auto names = ListFolder(configs.path());
    ASSERT_EQ(names.size(), 2u);
    const std::string& backup = names[1];
    EXPECT_TRUE(backup.starts_with("router_") && backup.ends_with(".bak")) << backup;
    EXPECT_TRUE(ReadFile(configs / backup) == original);

    form->close();
    EXPECT_EQ(form->Run().EncryptBlowfish, nullptr);
}

TEST_F(Form1Test, StartUpLoadsTheFirstFixOnceAndASelectionLoadsAgain) {
    WriteFile(program / "a_empty.fix", "[Router Fix]\r\n");
    DialogScript script;
    auto form = Open();
    // One load of the empty first fix, one message: filling and selecting the list loaded nothing more.
    ASSERT_EQ(script.Kinds(), QStringList({"message"}));
    EXPECT_EQ(script.seen[0].text, "No fixes found in file.");

    auto* list = Control<QComboBox>(*form, "cboFixes");
    ASSERT_EQ(list->count(), static_cast<int>(form->Run().FixNames().size()));
    EXPECT_EQ(list->itemText(0), "a_empty.fix");
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(form->Run().FixEntries.size(), 1u);

    list->setCurrentIndex(list->findText("fix_ntp.txt"));
    EXPECT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(form->Run().FixEntries.size(), 3u);
    EXPECT_TRUE(list->isEnabled());

    list->setCurrentIndex(0);
    EXPECT_EQ(script.Kinds(), QStringList({"message", "message"}));
}

TEST_F(Form1Test, ReturnPressesTheFocusedButtonOrElseTheFixButton) {
    auto form = Open();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* doAll = Control<UltraButton>(*form, "cmdDoAll");
    auto* more = Control<UltraButton>(*form, "cmdMore");
    auto* list = Control<QComboBox>(*form, "cboFixes");

    list->setFocus();
    EXPECT_TRUE(doAll->DefaultIndication());
    {
        DialogScript script;
        script.Cancel();
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(script.Kinds(), QStringList({"file"}));
    }

    // The window is active again once the dialog has gone.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    more->setFocus();
    EXPECT_FALSE(doAll->DefaultIndication());
    {
        DialogScript script;
        QTest::keyClick(more, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_TRUE(script.seen.empty());
        EXPECT_EQ(form->Height(), Form1::ExpandedHeight);
    }
}

// While the report is hidden, what lies below the window's edge takes no
// focus: Tab and a button's arrow keys go round the two buttons, and the
// focus leaves the fix list when the report is hidden, so that no key
// loads or runs a fix unseen. Shown, the order is as ever.
TEST_F(Form1Test, OnlyTheControlsInViewTakeTheFocus) {
    auto form = Open();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* list = Control<QComboBox>(*form, "cboFixes");
    struct Press {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    };
    const struct {
        const char* name;
        bool shown;
        const char* from;
        std::vector<Press> presses;
        const char* to;
    } rows[] = {
        {"Tab, hidden", false, "cmdMore", {{Qt::Key_Tab}}, "cmdDoAll"},
        {"Shift+Tab, hidden", false, "cmdDoAll", {{Qt::Key_Backtab}}, "cmdMore"},
        {"Down, hidden", false, "cmdMore", {{Qt::Key_Down}}, "cmdDoAll"},
        {"Left, hidden", false, "cmdDoAll", {{Qt::Key_Left}}, "cmdMore"},
        {"hiding from the fix list, then Down", true, "cboFixes", {{Qt::Key_R, Qt::AltModifier}, {Qt::Key_Down}},
         "cmdDoAll"},
        {"Tab, shown", true, "cmdMore", {{Qt::Key_Tab}}, "cboFixes"},
        {"Down, shown", true, "cmdMore", {{Qt::Key_Down}}, "cboFixes"},
        {"Tab from the fix list, shown", true, "cboFixes", {{Qt::Key_Tab}}, "txtReport"},
        {"Shift+Tab, shown", true, "cmdDoAll", {{Qt::Key_Backtab}}, "txtReport"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        form->SetHeight(row.shown ? Form1::ExpandedHeight : Form1::CollapsedHeight);
        Control<QWidget>(*form, row.from)->setFocus();
        for (const Press& press : row.presses) QTest::keyClick(QApplication::focusWidget(), press.key, press.modifiers);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(row.to));
        EXPECT_EQ(list->currentIndex(), 0);
    }
}

// A message shows a file's name as the file system has it.
TEST_F(Form1Test, MessagesShowNamesBeyondAsciiAsTheyAre) {
    TempDir configs;
    std::filesystem::create_directory(configs / "jos\xC3\xA9");
    const std::string config = configs / "jos\xC3\xA9/router.bin";
    WriteFile(config, "bytes");
    std::filesystem::permissions(config, std::filesystem::perms::owner_read);

    auto form = Open();
    DialogScript script;
    script.Choose(QString::fromUtf8(config)).Ok();
    QTest::mouseClick(Control<UltraButton>(*form, "cmdDoAll"), Qt::LeftButton);

    ASSERT_EQ(script.Kinds(), QStringList({"file", "message"}));
    EXPECT_EQ(script.seen[1].text, "Error 75 - Path/File access error: " + QString::fromStdString(configs.path()) +
                                       QStringLiteral("/jos\u00E9/router.bin is read-only"));
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};

TEST_F(Form1Test, LinkOpensTheProjectPageOnALeftClick) {
    auto form = Open();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    auto* link = Control<QLabel>(*form, "lblLink");
    QTest::mouseClick(link, Qt::RightButton);
    QTest::mouseClick(link, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("https");
    EXPECT_EQ(catcher.opened, QList<QUrl>({QUrl("https://www.kestrune.org/")}));
}

}  // namespace

#include "Form1Test.moc"
