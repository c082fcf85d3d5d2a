// SPDX-License-Identifier: MIT
// Renders the window's six pages to PNG files for the documentation: render_pages OUTPUT_FOLDER.
// The pages show a real run over a generated script: the progress page is taken while it counts. A
// second run, with Risparmio reale and the savings curve, gives the curve's dialog. A second window
// shows the input page after two scripts were dropped onto it.

#include "fake_file_dialogs.h"
#include "frm_frequency.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace {

// A made-up script: Italian-looking lines from a small vocabulary, so that the report has something
// to rank.
void WriteScript(const std::string& path, std::size_t bytes)
{
    static const char* const words[] = {"il",    "mago",   "della", "torre", "disse", "che",    "non",
                                        "posso", "aprire", "la",    "porta", "senza", "chiave", "oro"};
    std::mt19937 random(7);
    std::ofstream out(path, std::ios::binary);
    std::size_t written = 0;
    while (written < bytes) {
        std::string line;
        const int count = 3 + static_cast<int>(random() % 6);
        for (int i = 0; i < count; ++i) {
            line += words[random() % std::size(words)];
            line += i + 1 < count ? " " : ".\r\n";
        }
        out << line;
        written += line.size();
    }
}

bool Save(QWidget& window, const QString& folder, const char* name)
{
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A fresh window after two scripts were dropped onto it from a file manager. They lie in a folder of
// fixed name, so that the picture shows the same paths at every rendering.
bool SaveAfterDrop(const QString& folder)
{
    QDir scripts(QDir::temp().filePath(QStringLiteral("kestrin-esempio")));
    scripts.mkpath(QStringLiteral("."));
    QList<QUrl> urls;
    for (const char* name : {"script1.txt", "script2.txt"}) {
        const QString path = scripts.filePath(QString::fromLatin1(name));
        WriteScript(path.toStdString(), 1000);
        urls.append(QUrl::fromLocalFile(path));
    }
    kestrin::FrmFrequency window(std::make_unique<kestrin::FakeFileDialogs>());
    window.show();
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = window.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &drop);
    const bool ok = Save(window, folder, "window-after-drop.png");
    scripts.removeRecursively();
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_pages OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(folder);
    // The files are named relative to a scratch folder, so that the pictures show short, stable names.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const QString script = QStringLiteral("script.txt");
    WriteScript(script.toStdString(), 4'000'000);

    auto dialogs = std::make_unique<kestrin::FakeFileDialogs>();
    dialogs->answers.push_back(kestrin::DialogAnswer::Chose(script));
    dialogs->answers.push_back(kestrin::DialogAnswer::Chose(QStringLiteral("report.txt")));
    for (const char* name : {"tabella-corretta.tbl", "nomi.tbl", "anteprima.txt"}) {
        dialogs->answers.push_back(kestrin::DialogAnswer::Chose(QString::fromLatin1(name)));
    }
    kestrin::FrmFrequency window(std::move(dialogs));
    window.show();
    // A message would wait for an answer that never comes: it is printed and closed, and the pictures fail.
    bool ok = true;
    QTimer messages;
    QObject::connect(&messages, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
                std::fprintf(stderr, "a message came up: %s\n", qPrintable(box->text()));
                ok = false;
                box->done(QMessageBox::Ok);
            }
        }
    });
    messages.start(100);

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    auto* cmdNext = window.findChild<QPushButton*>(QStringLiteral("cmdNext"));
    auto* cmdAnalyze = window.findChild<QPushButton*>(QStringLiteral("cmdAnalyze"));
    window.findChild<QPushButton*>(QStringLiteral("cmdOpen"))->click();
    window.findChild<QLineEdit*>(QStringLiteral("txtSampleLength"))->setText(QStringLiteral("2-4"));
    ok = Save(window, folder, "page-0-input.png") && ok;

    cmdNext->click();
    window.findChild<QPushButton*>(QStringLiteral("cmdOpenOutput"))->click();
    ok = Save(window, folder, "page-1-output.png") && ok;

    cmdNext->click();
    window.findChild<QCheckBox*>(QStringLiteral("chkUseComments"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("chkIgnoreReturn"))->setChecked(true);
    ok = Save(window, folder, "page-2-formatting.png") && ok;
    window.findChild<QCheckBox*>(QStringLiteral("chkUseComments"))->setChecked(false);

    // The dictionary page with its files chosen and Risparmio reale on, which the first run goes without.
    cmdNext->click();
    auto* realSavings = window.findChild<QCheckBox*>(QStringLiteral("chkRealSavings"));
    realSavings->setChecked(true);
    for (const char* command : {"cmdOpenEvaluateTable", "cmdOpenKeepTable", "cmdOpenEncodingPreview"}) {
        window.findChild<QPushButton*>(QLatin1StringView(command))->click();
    }
    window.findChild<QCheckBox*>(QStringLiteral("chkSavingsCurve"))->setChecked(true);
    window.findChild<QLineEdit*>(QStringLiteral("txtEntryOverhead"))->setText(QStringLiteral("1"));
    ok = Save(window, folder, "page-3-dictionary.png") && ok;
    realSavings->setChecked(false);

    // The progress page exists only while a run works: take it from inside the run, once the first
    // progress has been shown.
    bool progressSaved = false;
    QElapsedTimer clock;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (window.IsRunning() && !progressSaved && clock.elapsed() > 60) {
            progressSaved = Save(window, folder, "page-4-analysis.png");
        }
    });
    during.start(20);
    clock.start();
    cmdAnalyze->click();
    during.stop();
    if (!progressSaved) {
        std::fprintf(stderr, "the run ended before its progress could be taken\n");
        ok = false;
    }
    ok = tabs->currentIndex() == 5 && Save(window, folder, "page-5-results.png") && ok;

    // The curve of a real-savings run, without the files that the picture of the dictionary page named.
    realSavings->setChecked(true); // which enables the clear commands
    window.findChild<QPushButton*>(QStringLiteral("cmdClearKeepTable"))->click();
    window.findChild<QPushButton*>(QStringLiteral("cmdClearEncodingPreview"))->click();
    window.findChild<QLineEdit*>(QStringLiteral("txtSampleLength"))->setText(QStringLiteral("2-8"));
    cmdAnalyze->click();
    auto* cmdCurve = window.findChild<QPushButton*>(QStringLiteral("cmdCurve"));
    if (cmdCurve->isHidden()) {
        std::fprintf(stderr, "the real-savings run drew no savings curve\n");
        ok = false;
    } else {
        cmdCurve->click();
        ok = Save(*window.findChild<QDialog*>(QStringLiteral("dlgCurve")), folder, "window-curve.png") && ok;
    }
    ok = SaveAfterDrop(folder) && ok;
    return ok ? 0 : 1;
}
