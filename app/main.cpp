#include "frm_frequency.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setApplicationVersion(QStringLiteral("0.03"));
    QApplication::setDesktopFileName(QStringLiteral("kestrin"));

    kestrin::FrmFrequency window;
    window.show();
    return QApplication::exec();
}
