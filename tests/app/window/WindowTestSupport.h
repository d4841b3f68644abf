#pragma once

#include "QtTestSupport.h"

#include <QStringList>

#include <deque>
#include <optional>

class QWidget;

namespace kestrune::test {

// Answers the modal dialogs that open while it lives, in order: a text is
// typed into an input or chosen in a file dialog, then OK pressed (a message
// takes ""); nullopt cancels. Each is recorded as "KIND TITLE: TEXT", KIND a
// message's icon (information, warning, critical), input or file; a file
// dialog's text is its filters and folder: "Config files (*.bin) in /tmp/x".
class DialogScript {
public:
    explicit DialogScript(std::deque<std::optional<QString>> answers = {});
    ~DialogScript();

    // Gives dialog the next answer; false when none is left.
    bool Answer(QWidget* dialog);

    QStringList seen;

private:
    std::deque<std::optional<QString>> answers_;
    DialogScript* outer_;
};

// Call once: from then on the newest DialogScript answers every modal dialog,
// and one no script has an answer for fails the running test at once, with
// its text, and is closed, rather than waiting for an answer that never comes
// (a message shown while the window is built, before any script exists).
void WatchDialogs();

}  // namespace kestrune::test
