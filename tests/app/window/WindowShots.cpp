// Pictures of the window for the README: collapsed at start-up, and expanded
// after a run on a copy of samples/router.bin. Run it under a display server
// (scripts/screenshots.sh does that under Xvfb); it writes
// window-collapsed.png and window-expanded.png into the folder it is given.
#include "WindowTestSupport.h"

#include "app/window/Form1.h"
#include "button/UltraButton.h"

#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <cstdio>

using kestrune::Form1;
using kestrune::QtUserInterface;
using kestrune::UltraButton;
using namespace kestrune::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    TempDir program;
    TempDir configs;
    PlaceSampleFixes(program.path());
    const std::string config = configs / "router.bin";
    WriteFile(config, ReadFile((SourceDir() / "samples" / "router.bin").string()));

    Form1 form(program.path().string(), QtUserInterface::Dialogs::Qt);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    if (!form.grab().save(out.filePath("window-collapsed.png"))) return 1;

    DialogScript script;
    script.Choose(QString::fromStdString(config)).Ok();
    QTest::mouseClick(form.findChild<UltraButton*>("cmdDoAll"), Qt::LeftButton);
    QTest::mouseClick(form.findChild<UltraButton*>("cmdMore"), Qt::LeftButton);
    if (script.Kinds() != QStringList({"file", "message"})) return 1;
    QTest::qWait(50);
    return form.grab().save(out.filePath("window-expanded.png")) ? 0 : 1;
}
