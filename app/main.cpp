// SPDX-License-Identifier: MIT
// Starts the window. Files named on the command line become input files, as a drop adds them;
// --help and --version print and exit without a window (and without a display); an option that neither
// the program nor Qt knows is a usage error, as it is for kestrin-cli.

#include "frm_frequency.h"
#include "kestrin_version.h"
#include "qt_translations.h"

#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* usage = "Usage: kestrin [FILE]...\n"
                              "Open the Kestrin window, with the FILEs as its input files.\n"
                              "\n"
                              "  -h, --help     print this help and exit\n"
                              "      --version  print the version and exit\n"
                              "\n"
                              "Qt's own options (such as -platform or -style) are accepted too.\n"
                              "Counting without a window: kestrin-cli --help, or man kestrin-cli.\n";

constexpr const char* version = "kestrin " KESTRIN_VERSION "\n" KESTRIN_COPYRIGHT_LINES;

// Prints a text on standard output; a text that cannot be written all the way fails with the reason.
int Print(const char* text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "kestrin: cannot write to standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Answered before Qt starts, which would need a display. "--" ends the options.
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return Print(usage);
        }
        if (argument == "--version") {
            return Print(version);
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("kestrin"));
    // Without Qt's translations its buttons and file dialogs stay English; the window works the same.
    kestrin::InstallItalianQtTranslations(app);

    // Qt has taken its own options out of the arguments; what is left names input files, but before a
    // "--" a word that starts with "-" (other than "-" itself) is an option nobody knows.
    QStringList files = QApplication::arguments().mid(1);
    const qsizetype end = files.indexOf(QStringLiteral("--"));
    for (qsizetype i = 0; i < (end < 0 ? files.size() : end); ++i) {
        if (files[i].startsWith(u'-') && files[i] != QStringLiteral("-")) {
            std::fprintf(stderr,
                         "kestrin: \"%s\" is not an option; a file whose name starts with \"-\" goes after "
                         "\"--\"\nTry 'kestrin --help'.\n",
                         files[i].toLocal8Bit().constData());
            return 2;
        }
    }
    if (end >= 0) {
        files.remove(end);
    }
    kestrin::FrmFrequency window;
    window.show();
    window.AddInputFiles(files);
    return QApplication::exec();
}
