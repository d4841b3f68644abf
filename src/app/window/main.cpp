#include "app/window/Form1.h"

#include <QApplication>
#include <QFile>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune"));
    QApplication::setDesktopFileName(QStringLiteral("kestrune"));
    kestrune::Form1 window(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    window.show();
    return QApplication::exec();
}
