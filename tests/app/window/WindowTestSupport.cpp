#include "WindowTestSupport.h"

#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace kestrune::test {

DialogScript::DialogScript() {
    // The timer fires inside each dialog's own event loop.
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &DialogScript::Poll);
    timer_.start();
}

DialogScript& DialogScript::Ok() {
    answers_.push_back([](QWidget* dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            box->button(QMessageBox::Ok)->click();
        } else if (auto* other = qobject_cast<QDialog*>(dialog)) {
            other->reject();
        }
    });
    return *this;
}

DialogScript& DialogScript::Type(const QString& text) {
    answers_.push_back([text](QWidget* dialog) {
        if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
            input->setTextValue(text);
            input->accept();
        } else if (auto* other = qobject_cast<QDialog*>(dialog)) {
            other->reject();
        }
    });
    return *this;
}

DialogScript& DialogScript::Choose(const QString& path) {
    answers_.push_back([path](QWidget* dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            files->selectFile(path);
            // accept() is protected on QFileDialog; done() through QDialog is not.
            static_cast<QDialog*>(files)->accept();
        } else if (auto* other = qobject_cast<QDialog*>(dialog)) {
            other->reject();
        }
    });
    return *this;
}

DialogScript& DialogScript::Cancel() {
    answers_.push_back([](QWidget* dialog) {
        if (auto* other = qobject_cast<QDialog*>(dialog)) {
            other->reject();
        } else {
            dialog->close();
        }
    });
    return *this;
}

QStringList DialogScript::Kinds() const {
    QStringList kinds;
    for (const Seen& s : seen) kinds << s.kind;
    return kinds;
}

void DialogScript::Poll() {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible()) return;

    Seen s;
    s.title = dialog->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        s.kind = QStringLiteral("message");
        s.text = box->text();
        s.icon = box->icon();
    } else if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
        s.kind = QStringLiteral("input");
        s.text = input->labelText();
    } else if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
        s.kind = QStringLiteral("file");
        s.text = files->nameFilters().join(QStringLiteral(";;"));
        s.folder = files->directory().absolutePath();
    } else {
        s.kind = QString::fromLatin1(dialog->metaObject()->className());
    }
    seen.push_back(s);

    if (answers_.empty()) {
        Cancel();
    }
    const auto answer = answers_.front();
    answers_.pop_front();
    answer(dialog);
}

void PlaceSampleFixes(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(SourceDir() / "fixes")) {
        if (entry.is_regular_file() && entry.path().filename() != "README.md") {
            std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
        }
    }
}

}  // namespace kestrune::test
