#include "app/window/Form1.h"

#include "button/PropertyBag.h"
#include "button/UltraButton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace kestrune {
namespace {

constexpr int ClientWidthTwips = 6840;

// Twips to pixels at 96 dots per inch.
constexpr int Px(int twips) { return twips / Form1::TwipsPerPixel; }

void Place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

// The desktop's default sans-serif font ("Sans Serif" is the font
// configuration's name for it), at the size the layout was drawn for.
QFont WindowFont(bool bold) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// The button codes and modifier mask of the window's mouse events.
int ButtonCode(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int ShiftMask(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

}  // namespace

Form1::Form1(std::string programFolder, QtUserInterface::Dialogs dialogs, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<QtUserInterface>(this, dialogs)),
      run_(std::make_unique<FixRun>(*ui_, std::move(programFolder))) {
    setWindowTitle(QStringLiteral("Kestrune (home router configuration fixes)"));
    setWindowIcon(QIcon(QStringLiteral(":/kestrune/kestrune.png")));
    // Every control inherits it, except the buttons, whose design names their own.
    setFont(WindowFont(false));
    CreateControls();
    LoadButtonDesign();
    LabelControlsForScreenReaders();

    run_->ShowReport = [this](const std::string& report) { ShowReport(report); };
    connect(cmdDoAll_, &UltraButton::Click, this, &Form1::cmdDoAll_Click);
    connect(cmdMore_, &UltraButton::Click, this, &Form1::cmdMore_Click);
    connect(cboFixes_, &QComboBox::currentIndexChanged, this, &Form1::cboFixes_Click);
    lblReport_->installEventFilter(this);
    lblLink_->installEventFilter(this);

    // The focused button takes Return and Enter for itself, so they are
    // caught before any control sees them.
    auto* enter = new QShortcut(this);
    enter->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    connect(enter, &QShortcut::activated, this, &Form1::PressDefaultButton);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { UpdateDefaultIndication(now); });
    cmdDoAll_->SetDefaultIndication(true);

    Form_Load();
    cmdDoAll_->setFocus();
}

Form1::~Form1() = default;

void Form1::CreateControls() {
    lblInfo_ = MakeLabel(this, "lblInfo",
                         QStringLiteral("Kestrune applies the Kestrune project's fixes to your router's "
                                        "configuration file."));
    lblInfo_->setWordWrap(true);
    Place(lblInfo_, 120, 120, 4215, 495);

    lblLink_ = MakeLabel(this, "lblLink", QStringLiteral("For more, visit www.kestrune.org"));
    lblLink_->setFont(WindowFont(true));
    QPalette linkPalette = lblLink_->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 192));
    lblLink_->setPalette(linkPalette);
    lblLink_->setCursor(Qt::PointingHandCursor);
    Place(lblLink_, 480, 600, 3495, 255);

    cmdDoAll_ = new UltraButton(this);
    cmdDoAll_->setObjectName(QStringLiteral("cmdDoAll"));
    cmdDoAll_->setToolTip(QStringLiteral("Quick fix!"));
    Place(cmdDoAll_, 4560, 120, 975, 615);

    cmdMore_ = new UltraButton(this);
    cmdMore_->setObjectName(QStringLiteral("cmdMore"));
    cmdMore_->setToolTip(QStringLiteral("View the report"));
    Place(cmdMore_, 5640, 120, 1095, 615);

    lblFix_ = MakeLabel(this, "lblFix", QStringLiteral("Fix file:"));
    Place(lblFix_, 2520, 990, 615, 255);

    cboFixes_ = new QComboBox(this);
    cboFixes_->setObjectName(QStringLiteral("cboFixes"));
    Place(cboFixes_, 3120, 960, 3615, 315);

    lblReport_ = MakeLabel(this, "lblReport", QStringLiteral("Fix report:"));
    lblReport_->setFont(WindowFont(true));
    Place(lblReport_, 120, 1080, 975, 255);

    txtReport_ = new QPlainTextEdit(QStringLiteral("Report"), this);
    txtReport_->setObjectName(QStringLiteral("txtReport"));
    txtReport_->setReadOnly(true);
    // Read-only, yet the report can still be selected and copied from the keyboard.
    txtReport_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Place(txtReport_, 120, 1320, 6615, 3135);
}

// The buttons' properties come from the window's stored design, the same
// persistence path a designer would have written.
void Form1::LoadButtonDesign() {
    auto design = Design::Load(QStringLiteral(":/kestrune/Form1.design"));
    if (!design) {
        qWarning("The window's button design is missing from the program's resources.");
        design = Design();
    }
    cmdDoAll_->ReadProperties(design->Bag(QStringLiteral("cmdDoAll")));
    cmdMore_->ReadProperties(design->Bag(QStringLiteral("cmdMore")));
}

// A screen reader names the fix list and the report box by the labels beside
// them: a label's buddy is reported as labelled by it, and the name serves
// where the reader asks the control itself.
void Form1::LabelControlsForScreenReaders() {
    const std::pair<QLabel*, QWidget*> labelled[] = {{lblFix_, cboFixes_}, {lblReport_, txtReport_}};
    for (const auto& [label, control] : labelled) {
        label->setBuddy(control);
        control->setAccessibleName(label->text());
    }
}

void Form1::Form_Load() {
    SetHeight(CollapsedHeight);
    run_->Form_Load();
    // Form_Load has loaded the first fix already; filling and selecting must not load it again.
    run_->FillingList = true;
    for (const std::string& name : run_->FixNames()) cboFixes_->addItem(QFile::decodeName(name.c_str()));
    if (cboFixes_->count() > 0) cboFixes_->setCurrentIndex(0);
    run_->FillingList = false;
}

int Form1::Height() const { return height() * TwipsPerPixel + TitleBand; }

void Form1::SetHeight(int twips) {
    const int client = std::max(0, qRound(static_cast<double>(twips - TitleBand) / TwipsPerPixel));
    setFixedSize(Px(ClientWidthTwips), client);
    ShowOnlyControlsInView();
}

// A control wholly below the client area cannot be seen, and hidden it
// cannot take the focus either: no Tab, arrow key or click reaches the fix
// list, where Down would load another fix and Return run it unseen. The
// focus leaves such a control for the button that brings it back.
void Form1::ShowOnlyControlsInView() {
    QWidget* const lower[] = {lblFix_, cboFixes_, lblReport_, txtReport_};
    QWidget* focused = focusWidget();
    for (QWidget* control : lower) {
        const bool inView = control->y() < height();
        if (!inView && focused != nullptr && (focused == control || control->isAncestorOf(focused))) {
            cmdMore_->setFocus();
        }
        control->setVisible(inView);
    }
}

void Form1::cboFixes_Click(int index) {
    if (run_->FillingList) return;
    const auto& names = run_->FixNames();
    if (index < 0 || static_cast<std::size_t>(index) >= names.size()) return;
    // Disabling the list takes the focus from it; the user keeps working in it afterwards.
    const bool hadFocus = cboFixes_->hasFocus();
    cboFixes_->setEnabled(false);
    run_->cboFixes_Click(names[static_cast<std::size_t>(index)]);
    cboFixes_->setEnabled(true);
    if (hadFocus) cboFixes_->setFocus();
}

void Form1::cmdDoAll_Click() { static_cast<void>(run_->cmdDoAll_Click()); }

void Form1::cmdMore_Click() {
    if (Height() == CollapsedHeight) {
        SetHeight(ExpandedHeight);
        cmdMore_->SetCaption(QStringLiteral("Hide &Report"));
        cmdMore_->setToolTip(QStringLiteral("Close the report"));
    } else {
        SetHeight(CollapsedHeight);
        cmdMore_->SetCaption(QStringLiteral("Show &Report"));
        cmdMore_->setToolTip(QStringLiteral("View the report"));
    }
}

void Form1::lblLink_Click() {
    // A desktop that cannot open the page says nothing, and neither does the window.
    static_cast<void>(QDesktopServices::openUrl(QUrl(ProjectPage)));
}

void Form1::ShowReport(const std::string& report) {
    // The report log, unlike a message, holds Latin-1 byte strings.
    QString text = QString::fromLatin1(report);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtReport_->setPlainText(text);
}

void Form1::PressDefaultButton() {
    auto* focused = qobject_cast<UltraButton*>(focusWidget());
    (focused != nullptr ? focused : cmdDoAll_)->AccessKeyPress();
}

void Form1::UpdateDefaultIndication(QWidget* focused) {
    if (focused == nullptr || !isAncestorOf(focused)) return;
    auto* button = qobject_cast<UltraButton*>(focused);
    cmdDoAll_->SetDefaultIndication(button == nullptr || button == cmdDoAll_);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int button = ButtonCode(mouse->button());
        if (watched == lblReport_ && button != 0) {
            run_->lblReport_MouseUp(button, ShiftMask(mouse->modifiers()));
        } else if (watched == lblLink_ && button == 1 && lblLink_->rect().contains(mouse->position().toPoint())) {
            lblLink_Click();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    run_->Form_QueryUnload();
    event->accept();
}

}  // namespace kestrune
