#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>
#include <vector>

class QWidget;

namespace kestrune::test {

// Answers the modal dialogs that open while it lives, in the order they
// open, and records each one. A dialog with no answer left is cancelled, so
// an unexpected dialog shows up in the record instead of hanging the test.
class DialogScript : public QObject {
public:
    // One dialog as it was seen.
    struct Seen {
        QString kind;   // "message", "input", "file" or the class name
        QString title;  // the window title
        QString text;   // message text, input prompt, or the file dialog's filters joined by ";;"
        int icon = 0;   // QMessageBox::Icon of a message
        QString folder; // the folder a file dialog showed
    };

    DialogScript();

    // The next message box: press OK.
    DialogScript& Ok();
    // The next input dialog: type text and press OK.
    DialogScript& Type(const QString& text);
    // The next file dialog: choose path.
    DialogScript& Choose(const QString& path);
    // The next dialog of any kind: cancel it.
    DialogScript& Cancel();

    std::vector<Seen> seen;

    // The kinds seen, in order.
    QStringList Kinds() const;

private:
    void Poll();

    std::deque<std::function<void(QWidget*)>> answers_;
    QTimer timer_;
};

// The sample fixes of the source tree copied into folder, as they lie
// beside the installed program.
void PlaceSampleFixes(const std::filesystem::path& folder);

}  // namespace kestrune::test
