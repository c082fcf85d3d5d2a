#include "frm_frequency.h"
#include "qt_translations.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("kestrin"));
    // Without Qt's translations its buttons and file dialogs stay English; the window works the same.
    kestrin::InstallItalianQtTranslations(app);

    kestrin::FrmFrequency window;
    window.show();
    return QApplication::exec();
}
