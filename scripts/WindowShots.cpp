// Pictures of the window for the README: collapsed at start-up, and expanded
// after a run on a copy of samples/router.bin. Run it under a display server
// (scripts/screenshots.sh builds it and runs it under Xvfb); it writes
// window-collapsed.png and window-expanded.png into the folder it is given.
#include "WindowTestSupport.h"

#include "app/window/Form1.h"
#include "button/UltraButton.h"

#include "TestSupport.h"

#include <QDir>
#include <QTest>

#include <cstdio>

using namespace kestrune::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    WatchDialogs();

    TempDir program;
    TempDir configs;
    std::filesystem::copy(SourceDir() / "fixes", program.path());
    const std::string config = configs / "router.bin";
    WriteFile(config, ReadFile((SourceDir() / "samples" / "router.bin").string()));

    kestrune::Form1 form(program.path().string(), kestrune::QtUserInterface::Dialogs::Qt);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    if (!form.grab().save(out.filePath("window-collapsed.png"))) return 1;

    DialogScript script({QString::fromStdString(config), ""});
    QTest::mouseClick(form.findChild<kestrune::UltraButton*>("cmdDoAll"), Qt::LeftButton);
    QTest::mouseClick(form.findChild<kestrune::UltraButton*>("cmdMore"), Qt::LeftButton);
    if (script.seen.size() != 2 || !script.seen[1].endsWith("The config file has been fixed!")) {
        std::fprintf(stderr, "%s\n", qPrintable(script.seen.join('\n')));
        return 1;
    }
    QTest::qWait(50);
    return form.grab().save(out.filePath("window-expanded.png")) ? 0 : 1;
}
