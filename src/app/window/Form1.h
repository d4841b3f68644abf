#pragma once

#include "app/FixRun.h"
#include "app/window/QtUserInterface.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class QCloseEvent;
class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace kestrune {

class UltraButton;

// The address the link label opens.
inline const QString ProjectPage = QStringLiteral("https://www.kestrune.org/");

// The program's only window: the fix list, the Fix button, the report and its
// toggle, the links and labels, around the core's FixRun.
class Form1 : public QWidget {
    Q_OBJECT

public:
    // Outer heights in twips: the client area plus the title band.
    static constexpr int CollapsedHeight = 1380;
    static constexpr int ExpandedHeight = 5055;
    static constexpr int TitleBand = 465;
    static constexpr int TwipsPerPixel = 15;

    // Builds the window for the fix files of programFolder and runs Form_Load.
    explicit Form1(std::string programFolder, QtUserInterface::Dialogs dialogs = QtUserInterface::Dialogs::Native,
                   QWidget* parent = nullptr);
    ~Form1() override;

    // The outer height in twips, as the window's present client height gives it.
    int Height() const;
    // Sets the outer height in twips; the client height is what remains below the title band.
    void SetHeight(int twips);

    // The state and the work behind the window.
    FixRun& Run() { return *run_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void LoadButtonDesign();
    void LabelControlsForScreenReaders();
    void Form_Load();
    void cboFixes_Click(int index);
    void cmdDoAll_Click();
    void cmdMore_Click();
    void lblLink_Click();
    void ShowReport(const std::string& report);
    void PressDefaultButton();
    void UpdateDefaultIndication(QWidget* focused);
    void ShowOnlyControlsInView();

    std::unique_ptr<QtUserInterface> ui_;
    std::unique_ptr<FixRun> run_;

    QLabel* lblInfo_ = nullptr;
    QLabel* lblLink_ = nullptr;
    UltraButton* cmdDoAll_ = nullptr;
    UltraButton* cmdMore_ = nullptr;
    QLabel* lblFix_ = nullptr;
    QComboBox* cboFixes_ = nullptr;
    QLabel* lblReport_ = nullptr;
    QPlainTextEdit* txtReport_ = nullptr;
};

}  // namespace kestrune
