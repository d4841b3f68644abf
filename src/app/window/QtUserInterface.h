#pragma once

#include "common/UserInterface.h"

#include <QString>

#include <string>

class QWidget;

namespace kestrune {

// The window's dialogs: QMessageBox, QFileDialog and QInputDialog, all modal
// over the owner. Texts cross as UTF-8; file names cross in the file
// system's own encoding, so any name the system can hold reaches the core
// intact.
class QtUserInterface : public UserInterface {
public:
    // Native: the desktop's file dialog where there is one. Qt: Qt's own,
    // which a test can find with QApplication::activeModalWidget and answer.
    enum class Dialogs { Native, Qt };

    explicit QtUserInterface(QWidget* owner, Dialogs dialogs = Dialogs::Native);

protected:
    void DoShowMessage(const std::string& text, MessageIcon icon, const std::string& title) override;
    std::string DoChooseFileToOpen(const std::string& filter, const std::string& initialFolder) override;
    std::string DoAskForText(const std::string& prompt, const std::string& title) override;

private:
    QWidget* owner_;
    Dialogs dialogs_;
};

// A filter of the form "Config files|*.bin;*.xml" (description and patterns
// alternating) as Qt writes it: "Config files (*.bin *.xml)", pairs joined by ";;".
QString QtFileFilter(const std::string& filter);

}  // namespace kestrune
