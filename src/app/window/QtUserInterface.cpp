#include "app/window/QtUserInterface.h"

#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

namespace kestrune {

QtUserInterface::QtUserInterface(QWidget* owner, Dialogs dialogs) : owner_(owner), dialogs_(dialogs) {}

void QtUserInterface::DoShowMessage(const std::string& text, MessageIcon icon, const std::string& title) {
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    switch (icon) {
    case MessageIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case MessageIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(boxIcon, QString::fromUtf8(title), QString::fromUtf8(text), QMessageBox::Ok, owner_);
    box.exec();
}

std::string QtUserInterface::DoChooseFileToOpen(const std::string& filter, const std::string& initialFolder) {
    QFileDialog::Options options;
    if (dialogs_ == Dialogs::Qt) options |= QFileDialog::DontUseNativeDialog;
    const QString chosen = QFileDialog::getOpenFileName(owner_, QString(), QFile::decodeName(initialFolder.c_str()),
                                                        QtFileFilter(filter), nullptr, options);
    return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen).toStdString();
}

std::string QtUserInterface::DoAskForText(const std::string& prompt, const std::string& title) {
    bool ok = false;
    const QString answer = QInputDialog::getText(owner_, QString::fromUtf8(title), QString::fromUtf8(prompt),
                                                 QLineEdit::Normal, QString(), &ok);
    return ok ? answer.toUtf8().toStdString() : std::string();
}

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromUtf8(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString patterns = i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*");
        filters << parts[i] + QStringLiteral(" (") + patterns.split(u';', Qt::SkipEmptyParts).join(u' ') +
                       QStringLiteral(")");
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace kestrune
