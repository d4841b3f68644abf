#include "WindowTestSupport.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

namespace kestrune::test {
namespace {

DialogScript* newest = nullptr;

QString Describe(QWidget* dialog) {
    const QString title = dialog->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        const char* const icons[] = {"message", "information", "warning", "critical", "question"};
        return QString::fromLatin1(icons[box->icon()]) + ' ' + title + ": " + box->text();
    }
    if (auto* input = qobject_cast<QInputDialog*>(dialog)) return "input " + title + ": " + input->labelText();
    if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
        return "file " + title + ": " + files->nameFilters().join(";;") + " in " + files->directory().absolutePath();
    }
    return QString::fromLatin1(dialog->metaObject()->className()) + ' ' + title;
}

// Runs inside each dialog's own event loop.
void Poll() {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible()) return;
    const QString seen = Describe(dialog);
    if (newest != nullptr) newest->seen << seen;
    if (newest == nullptr || !newest->Answer(dialog)) {
        ADD_FAILURE() << "A dialog no test expected: " << seen.toStdString();
        dialog->close();
    }
}

}  // namespace

DialogScript::DialogScript(std::deque<std::optional<QString>> answers) : answers_(std::move(answers)), outer_(newest) {
    newest = this;
}

DialogScript::~DialogScript() { newest = outer_; }

bool DialogScript::Answer(QWidget* dialog) {
    if (answers_.empty()) return false;
    const std::optional<QString> text = answers_.front();
    answers_.pop_front();
    if (auto* input = qobject_cast<QInputDialog*>(dialog); input != nullptr && text) input->setTextValue(*text);
    if (auto* files = qobject_cast<QFileDialog*>(dialog); files != nullptr && text) files->selectFile(*text);
    auto* modal = qobject_cast<QDialog*>(dialog);
    if (modal != nullptr && text) {
        modal->accept();  // a file dialog's own accept(), protected on QFileDialog
    } else {
        dialog->close();  // a dialog's Cancel
    }
    return true;
}

void WatchDialogs() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, Poll);
    timer->start(5);
}

}  // namespace kestrune::test
