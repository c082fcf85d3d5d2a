// SPDX-License-Identifier: MIT
#include "case_tables.h"
#include "completion_line.h"
#include "fake_file_dialogs.h"
#include "frm_frequency.h"
#include "input_file_list.h"
#include "latin1.h"
#include "path_elision.h"
#include "qt_translations.h"
#include "test_support.h"
#include "window_run_observer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <random>
#include <string_view>
#include <tuple>

using namespace kestrin;

namespace {

const QString noFile = QStringLiteral("--Nessun file specificato--");
const QString resultsAtStart = QStringLiteral("I risultati vengono scritti qui\n");

// The thirteen controls that the comment switch turns on and off; lblInfoComments is not one of them.
const QStringList commentControls =
    QStringLiteral("fraComments chkReadInsideComments optC optCPP optThingy optCustom lblCEnd lblCPPEnd "
                   "lblThingyEnd txtBeginComment txtEndComment lblBegin lblEnd")
        .split(u' ');

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// What a modal message box showed before the test answered it.
struct SeenBox {
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

} // namespace

class FrmFrequencyTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FrmFrequency> window;
    FakeFileDialogs* dialogs = nullptr;
    std::unique_ptr<QTemporaryDir> folder;
    QTimer boxPoller;
    std::deque<QMessageBox::StandardButton> boxAnswers;
    std::vector<SeenBox> boxes;

    // A missing widget is a null pointer, and the test crashes in its own name.
    template <typename T = QWidget> T* Find(const QString& name) const { return window->findChild<T*>(name); }
    QPushButton* Button(const QString& name) const { return Find<QPushButton>(name); }
    QLineEdit* TextBox(const QString& name) const { return Find<QLineEdit>(name); }
    QTabWidget* Tabs() const { return Find<QTabWidget>("SSTab1"); }
    QString Results() const { return Find<QPlainTextEdit>("txtResults")->toPlainText(); }
    void Check(const QString& name, bool on) const { Find<QAbstractButton>(name)->setChecked(on); }
    // Settings that the window refuses throw here, and the test fails in its own name.
    RunSettings Settings() const { return std::get<RunSettings>(window->ReadSettings()); }
    QString TempPath(const QString& name) const { return folder->filePath(name); }
    // Writes a file of these bytes in the test's folder and returns its path.
    QString Made(const QString& name, const QByteArray& bytes) const
    {
        WriteFile(TempPath(name), bytes);
        return TempPath(name);
    }

    // Answers the next message boxes, in order, with these buttons; `boxes` records what each showed.
    void AnswerBoxes(std::deque<QMessageBox::StandardButton> answers)
    {
        boxAnswers = std::move(answers);
        boxes.clear();
        boxPoller.start(5);
    }

    // Chooses a file through one of the file commands.
    void Choose(const QString& command, const QString& path)
    {
        dialogs->answers.push_back(DialogAnswer::Chose(path));
        Button(command)->click();
    }

    void ClickHeader(int page)
    {
        QTabBar* bar = Tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    }

    void VerifyCommentControlsEnabled(bool enabled)
    {
        for (const QString& control : commentControls) {
            QVERIFY2(Find(control)->isEnabled() == enabled, qPrintable(control));
        }
        QVERIFY(Find("lblInfoComments")->isEnabled());
    }

    // Drags files onto a widget, as a file manager does (with their paths as text too), and drops them
    // there; false when the drag is refused. A name with ":" is a URL.
    static bool Drop(QWidget* target, const QStringList& names,
                     Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : names) {
            urls.append(name.contains(u':') ? QUrl(name) : QUrl::fromLocalFile(name));
        }
        data.setUrls(urls);
        data.setText(names.join(u'\n'));
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(at, actions, &data, Qt::LeftButton, {});
        if (enter.isAccepted()) {
            QApplication::sendEvent(target, &drop); // reaches whoever took the drag
        }
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }

    // The idle state that every run, however it ended, leaves behind: on the results, or on the page and
    // box of a setting that refused the run.
    void VerifyIdleAfterRun(const char* focus = "txtResults")
    {
        QVERIFY(!window->IsRunning());
        QCOMPARE(Button("cmdAnalyze")->text(), QStringLiteral("&Analzza"));
        QVERIFY(Tabs()->currentWidget()->isAncestorOf(Find(focus)));
        QVERIFY(Tabs()->tabBar()->isEnabled());
        QVERIFY(Button("cmdOpen")->isEnabled() && Button("cmdReset")->isEnabled());
        QVERIFY(Button("cmdBack")->isEnabled() == (Tabs()->currentIndex() > 0));
        if (std::string_view(focus) == "txtResults") {
            QVERIFY(Tabs()->currentIndex() == 5 && Tabs()->tabBar()->isTabEnabled(5));
            QVERIFY(!Button("cmdNext")->isEnabled());
        }
        QVERIFY(Find("lblCalc")->isHidden() && Find("lblAddr")->isHidden() &&
                Find("linCompletion")->isHidden());
        QCOMPARE(window->focusWidget(), Find(focus));
    }

private slots:
    void initTestCase()
    {
        connect(&boxPoller, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || boxAnswers.empty()) {
                return;
            }
            boxes.push_back({box->text(), box->standardButtons(), box->standardButton(box->defaultButton())});
            QAbstractButton* button = box->button(boxAnswers.front());
            boxAnswers.pop_front();
            if (button != nullptr) {
                button->click();
            } else {
                box->done(0); // not the box expected: close it, and let the test see what it showed
            }
        });
    }

    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        auto fake = std::make_unique<FakeFileDialogs>();
        dialogs = fake.get();
        window = std::make_unique<FrmFrequency>(std::move(fake));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QApplication::setActiveWindow(window.get());
    }

    void cleanup()
    {
        boxPoller.stop();
        window.reset();
        folder.reset();
    }

    void captionsFitTheirBoxesAndShowTheirAmpersands()
    {
        // Every wrapped help text has room for all its lines, and every one-line caption for its width.
        for (QLabel* label : window->findChildren<QLabel*>()) {
            const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                                : label->sizeHint().width() <= label->width();
            QVERIFY2(fits, qPrintable(label->objectName()));
        }
        QVERIFY(Find("chkReadInsideComments")->sizeHint().height() <=
                Find("chkReadInsideComments")->height());
        // A label without an access key shows "&&" as one "&".
        QVERIFY(Find<QLabel>("lblInfoOpenWriteTable")->text().endsWith(QStringLiteral("il prefisso &H.")));
    }

    void tabGoesRoundThePageInTheFocusOrder_data()
    {
        // f = an input file, c = comments on, p = "//" chosen, r = a run done first, s = Risparmio reale on
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("walk"); // where each Tab from the page headers leads, back to them
        QTest::newRow("input, no file yet") << "" << 0 << "cmdOpen txtSampleLength cmdNext cmdReset SSTab1";
        QTest::newRow("input, with a file")
            << "f" << 0 << "cmdOpen lblOpen txtSampleLength cmdNext cmdReset cmdAnalyze SSTab1";
        QTest::newRow("output, real savings on, which enables its dictionary bytes")
            << "fs" << 1
            << "txtTopResults chkRealSavings txtDictionaryBytes cmdOpenOutput cmdOpenWriteTable "
               "txtWriteTableRanges chkBeepOnFinish cmdBack cmdNext cmdReset cmdAnalyze SSTab1";
        // The option buttons are one stop, the chosen one, as the platform has it; arrows move inside.
        QTest::newRow("formatting, comments on")
            << "fc" << 2
            << "chkUseComments optC txtBeginComment txtEndComment chkReadInsideComments cmdOpenExcludeTable "
               "chkIgnoreSpace chkIgnoreReturn chkIgnoreTab cmbEncoding cmdOpenGameTable cmdBack cmdNext "
               "cmdReset cmdAnalyze SSTab1";
        QTest::newRow("formatting, comments on, \"//\" chosen")
            << "fcp" << 2
            << "chkUseComments optCPP txtBeginComment txtEndComment chkReadInsideComments "
               "cmdOpenExcludeTable chkIgnoreSpace chkIgnoreReturn chkIgnoreTab cmbEncoding cmdOpenGameTable "
               "cmdBack cmdNext cmdReset cmdAnalyze SSTab1";
        // Without a table to evaluate Valuta is passed over, and without a file its ✕ too.
        QTest::newRow("dictionary")
            << "f" << 3 << "cmdOpenEvaluateTable cmdOpenEncodingPreview cmdBack cmdReset cmdAnalyze SSTab1";
        QTest::newRow("dictionary, real savings on, which enables its settings")
            << "fs" << 3
            << "cmdOpenEvaluateTable cmdOpenKeepTable txtEntryOverhead chkSavingsCurve "
               "cmdOpenEncodingPreview "
               "cmdBack cmdReset cmdAnalyze SSTab1";
        QTest::newRow("results") << "fr" << 5 << "txtResults cmdBack cmdReset cmdAnalyze SSTab1";
    }

    // Real Tab and Shift+Tab keys, sent to whatever has the focus.
    void tabGoesRoundThePageInTheFocusOrder()
    {
        QFETCH(QString, setup);
        QFETCH(int, page);
        QFETCH(QString, walk);
        if (setup.contains(u'f')) {
            Choose("cmdOpen", Made("a.txt", "abcabc"));
        }
        Check("chkUseComments", setup.contains(u'c'));
        Check("chkRealSavings", setup.contains(u's'));
        if (setup.contains(u'r')) {
            Button("cmdAnalyze")->click();
        }
        Tabs()->setCurrentIndex(page);
        if (setup.contains(u'p')) {
            Find("optC")->setFocus(); // Qt then leaves its Tab focus on optC alone
            QCOMPARE(QApplication::focusWidget(), Find("optC"));
            Check("optCPP", true);
        }
        Tabs()->tabBar()->setFocus(Qt::TabFocusReason);
        const auto focused = [this] {
            QWidget* widget = QApplication::focusWidget();
            return widget == Tabs()->tabBar() ? QStringLiteral("SSTab1") : widget->objectName();
        };
        const QStringList expected = walk.split(u' ');
        QStringList forward;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forward.append(focused());
        }
        QCOMPARE(forward, expected);
        qInfo().noquote() << "Tab walk:" << forward.join(QStringLiteral(" -> "));
        QStringList backward;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            backward.prepend(focused());
        }
        QCOMPARE(backward,
                 QStringList(expected.mid(expected.size() - 1)) + expected.mid(0, expected.size() - 1));
    }

    void navigation_data()
    {
        QTest::addColumn<QString>("steps"); // b = Back, n = Next, digit = click on that page header
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("back");
        QTest::addColumn<bool>("next");
        QTest::newRow("at start") << "" << 0 << false << true;
        QTest::newRow("locked results header") << "5" << 0 << false << true;
        QTest::newRow("next from input") << "n" << 1 << true << true;
        QTest::newRow("next on formatting reaches the last settings page") << "nnn" << 3 << true << false;
        QTest::newRow("back from formatting") << "nnb" << 1 << true << true;
        QTest::newRow("header click on formatting") << "2" << 2 << true << true;
        QTest::newRow("header click on output, then input") << "10" << 0 << false << true;
        QTest::newRow("locked progress header") << "14" << 1 << true << true;
    }

    void navigation()
    {
        QFETCH(QString, steps);
        for (const QChar step : steps) {
            if (step.isDigit()) {
                ClickHeader(step.digitValue());
            } else {
                Button(step == u'b' ? "cmdBack" : "cmdNext")->click();
            }
        }
        QTEST(Tabs()->currentIndex(), "page");
        QTEST(Button("cmdBack")->isEnabled(), "back");
        QTEST(Button("cmdNext")->isEnabled(), "next");
    }

    // Focus and double-click events reach their handlers through the window's event filter.
    void numberBoxesSelectTheirTextOnFocusAndTheNameTogglesTheMotto()
    {
        QVERIFY(Find("Label1")->isHidden());
        QTest::mouseDClick(Find("lblKestrin"), Qt::LeftButton);
        QVERIFY(Find("Label1")->isVisible());
        QTest::mouseDClick(Find("lblKestrin"), Qt::LeftButton);
        QVERIFY(Find("Label1")->isHidden());

        TextBox("txtSampleLength")->setText(QStringLiteral("1,3-5"));
        QTest::keyClick(window.get(), Qt::Key_L, Qt::AltModifier); // the access key of lblSampleSize
        QCOMPARE(QApplication::focusWidget(), TextBox("txtSampleLength"));
        QCOMPARE(TextBox("txtSampleLength")->selectedText(), QStringLiteral("1,3-5"));

        Button("cmdNext")->click();
        QTest::keyClick(window.get(), Qt::Key_V, Qt::AltModifier); // the access key of lblTop
        QCOMPARE(QApplication::focusWidget(), TextBox("txtTopResults"));
        QCOMPARE(TextBox("txtTopResults")->selectedText(), QStringLiteral("25"));
        QTest::keyClicks(TextBox("txtTopResults"), QStringLiteral("123456"));
        QCOMPARE(TextBox("txtTopResults")->text(), QStringLiteral("1234")); // a fifth character is refused
    }

    void fileChoosersAndTheirFatalError_data()
    {
        QTest::addColumn<QString>("name"); // cmd... chooses, lbl... shows the path
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("confirmOverwrite");
        QTest::addColumn<QString>("second"); // the filter after "All Files (*)"
        QTest::addColumn<QString>("selected");
        const QString text = QStringLiteral("Text Files (*.txt)");
        const QString table = QStringLiteral("Table Files (*.tbl)");
        QTest::newRow("input file") << "Open" << false << false << text << "All Files (*)";
        QTest::newRow("exclusion table") << "OpenExcludeTable" << false << false << table << table;
        QTest::newRow("report file, replaced by every run") << "OpenOutput" << true << true << text << text;
        QTest::newRow("output table, appended to") << "OpenWriteTable" << true << false << table << table;
        QTest::newRow("game's character table") << "OpenGameTable" << false << false << table << table;
        QTest::newRow("kept entries") << "OpenKeepTable" << false << false << table << table;
        QTest::newRow("encoding preview, replaced by every run")
            << "OpenEncodingPreview" << true << true << text << text;
    }

    void fileChoosersAndTheirFatalError()
    {
        QFETCH(QString, name);
        QFETCH(QString, second);
        // Which setting each command sets is held to in eachControlSetsItsOwnSettingAndResetRestoresItsStart.
        const auto described = [this] { return QString::fromLatin1(testing::Describe(Settings())); };
        Check("chkRealSavings", true); // which the kept entries and the preview need
        const QString start = described();
        auto* shown = Find<QLabel>("lbl" + name);
        Button("cmd" + name)->click(); // cancelled: nothing changes
        QCOMPARE(shown->text(), noFile);
        QVERIFY(described() == start && !Button("cmdAnalyze")->isEnabled());

        const QString chosen = Made("chosen file.tbl", "");
        Choose("cmd" + name, chosen);
        QVERIFY2(shown->text().endsWith(QStringLiteral("/chosen file.tbl")), qPrintable(shown->text()));
        QCOMPARE(shown->toolTip(), chosen); // the whole path, where the label may have to shorten it
        const QString withChoice = described();
        QVERIFY(withChoice != start && withChoice.contains(chosen));
        QCOMPARE(Button("cmdAnalyze")->isEnabled(), name == "Open"); // only an input file allows a run
        const FakeFileDialogs::Request& asked = dialogs->requests.back();
        QTEST(asked.save, "save");
        QTEST(asked.confirmOverwrite, "confirmOverwrite");
        QCOMPARE(asked.several, name == "Open"); // Apri takes several files at once
        QCOMPARE(asked.request.nameFilters, QStringList({QStringLiteral("All Files (*)"), second}));
        QTEST(asked.request.selectedFilter, "selected");

        Button("cmd" + name)->click(); // a later cancel keeps the choice
        QCOMPARE(shown->toolTip(), chosen);
        QCOMPARE(described(), withChoice);

        // A dialog that fails shows its number and description as given, and OK closes the program.
        dialogs->answers.push_back(DialogAnswer::Fail(32766, QStringLiteral("The dialog broke")));
        AnswerBoxes({QMessageBox::Ok});
        Button("cmd" + name)->click();
        QCOMPARE(boxes.size(), std::size_t{1});
        QVERIFY2(boxes[0].text.startsWith(
                     QStringLiteral("Error: 32766\r\nThe dialog broke\r\n\r\nHit OK to close")),
                 qPrintable(boxes[0].text));
        QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(!window->isVisible());
    }

    void nameFiltersShowEachPatternOnce()
    {
        const std::pair<QString, QStringList> cases[] = {
            {"All Files (*.*)|*.*", {"All Files (*)"}},
            {"Old (*.doc)|*.txt", {"Old (*.doc) (*.txt)"}}}; // brackets that are not the pattern stay
        for (const auto& [pairs, filters] : cases) {
            QCOMPARE(MakeFileDialogRequest(pairs, 1).nameFilters, filters);
        }
    }

    void dialogsOpenInTheFolderLastUsed()
    {
        Button("cmdOpen")->click(); // cancelled: no folder is used yet
        Choose("cmdOpenExcludeTable", TempPath("a/x.tbl"));
        Choose("cmdOpenOutput", TempPath("a/b/report.txt"));
        Button("cmdReset")->click(); // the folder outlasts a reset
        Button("cmdOpenWriteTable")->click();
        QStringList folders;
        for (const FakeFileDialogs::Request& asked : dialogs->requests) {
            folders.append(asked.request.folder);
        }
        QCOMPARE(folders, QStringList({"", "", TempPath("a"), TempPath("a/b")}));
    }

    void droppedFilesAreAddedAsApriAddsThemAndRefusedInItsWords()
    {
        const QString a = Made("a.txt", "a");
        const QString b = Made("b.txt", "b");
        QVERIFY(QDir(folder->path()).mkdir("sub"));
        Button("cmdNext")->click(); // any page takes a drop
        Button("cmdNext")->click();
        AnswerBoxes({QMessageBox::Ok});
        QVERIFY(
            Drop(window.get(), {a, TempPath("sub"), TempPath("missing"), "https://example.org/c.txt", b}));
        QCOMPARE(Find<QLabel>("lblOpen")->text(), a + ';' + b);
        QVERIFY(Button("cmdAnalyze")->isEnabled());
        // One box, shown once the drop has returned, names every refusal.
        QTRY_COMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(boxes[0].text,
                 "These items were not added as input files:\n" + TempPath("sub") + ": Is a directory\n" +
                     TempPath("missing") +
                     ": No such file or directory\nhttps://example.org/c.txt: not a local file");

        // A file dropped on a text box is an input file too, and the box keeps its text.
        Button("cmdBack")->click();
        Button("cmdBack")->click();
        QVERIFY(Drop(TextBox("txtSampleLength"), {a}));
        QCOMPARE(TextBox("txtSampleLength")->text(), QStringLiteral("1"));
        QCOMPARE(Settings().inputFiles, (std::vector{ToPath(a), ToPath(b), ToPath(a)}));

        // Drags without a local file, or that could only move it, are refused.
        QVERIFY(!Drop(window.get(), {"https://example.org/c.txt"}));
        QVERIFY(!Drop(window.get(), {b}, Qt::MoveAction));
        QCOMPARE(Settings().inputFiles.size(), std::size_t{3});

        // Apri takes several files at once, in the dialog's order, and refuses what a drop refuses in the
        // same words: a folder, a missing file, a device.
        for (const QStringList& refused :
             {QStringList{TempPath("sub"), TempPath("missing"), "/dev/null"}, QStringList{"/dev/null"}}) {
            AnswerBoxes({QMessageBox::Ok});
            dialogs->answers.push_back(DialogAnswer::ChoseSeveral(QStringList{b} + refused + QStringList{a}));
            Button("cmdOpen")->click();
            QTRY_COMPARE(boxes.size(), std::size_t{1});
            const QString apriSaid = boxes[0].text;
            AnswerBoxes({QMessageBox::Ok});
            QVERIFY(Drop(window.get(), refused + QStringList{a}));
            QTRY_COMPARE(boxes.size(), std::size_t{1});
            QCOMPARE(boxes[0].text, apriSaid);
        }
        QVERIFY2(boxes[0].text.startsWith("This item was not added as an input file:\n/dev/null: "),
                 qPrintable(boxes[0].text));
        QCOMPARE(Settings().inputFiles, (std::vector{ToPath(a), ToPath(b), ToPath(a), ToPath(b), ToPath(a),
                                                     ToPath(a), ToPath(b), ToPath(a), ToPath(a)}));
    }

    void pathsAreShortenedFromTheFront_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("shown"); // the line is exactly as wide as these, joined by ";"
        const QString longName = QStringLiteral("/d/") + QString(60, u'n') + QStringLiteral(".txt");
        QTest::newRow("room enough") << QStringList{"/a/b/c.txt"} << QStringList{"/a/b/c.txt"};
        QTest::newRow("whole folders go first") << QStringList{"/home/utente/giochi/progetto/report.txt"}
                                                << QStringList{"\u2026/progetto/report.txt"};
        QTest::newRow("each path keeps as many folders")
            << QStringList{"/srv/a/x/one.txt", "rel/y/two.txt", "three.txt"}
            << QStringList{"\u2026/x/one.txt", "\u2026/y/two.txt", "three.txt"};
        QTest::newRow("names alone") << QStringList{"/srv/aaa/one.txt", "/srv/bbb/two.txt"}
                                     << QStringList{"\u2026/one.txt", "\u2026/two.txt"};
        QTest::newRow("a name too long is cut in its middle")
            << QStringList{longName} << QStringList{"nnnnn\u2026nnnn.txt"};
    }

    void pathsAreShortenedFromTheFront()
    {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, shown);
        const QFontMetrics metrics(Find("lblOpen")->font());
        const int width = metrics.horizontalAdvance(shown.join(u';'));
        const QStringList got = ElidePaths(paths, metrics, width);
        QVERIFY(metrics.horizontalAdvance(got.join(u';')) <= width);
        if (shown.front().contains(u'/') || paths.front() == shown.front()) {
            QCOMPARE(got, shown);
        } else { // where Qt cuts inside a name is its own; the ends of the name stay
            QVERIFY2(got.front().contains(u'\u2026') && got.front().endsWith(QStringLiteral("n.txt")),
                     qPrintable(got.front()));
        }
    }

    void longPathsAreShortenedAndNothingMovesOrOverprints()
    {
        QHash<QWidget*, QRect> placed;
        for (QWidget* control : window->findChildren<QWidget*>()) {
            placed.insert(control, control->geometry());
        }
        const QString deep = TempPath(QStringLiteral("una cartella con un nome lungo/progetto/traduzione"));
        QVERIFY(QDir().mkpath(deep));
        QStringList inputs;
        for (const char* name : {"script-capitolo-uno.txt", "script-capitolo-due.txt", "menu.txt"}) {
            inputs.append(deep + u'/' + QLatin1StringView(name));
            WriteFile(inputs.back(), "x");
            Choose("cmdOpen", inputs.back());
        }
        Choose("cmdOpenOutput", deep + QStringLiteral("/report-della-traduzione-completa.txt"));
        Choose("cmdOpenWriteTable", deep + QStringLiteral("/tabella-dei-valori-del-dizionario.tbl"));
        Choose("cmdOpenExcludeTable", deep + QStringLiteral("/tabella-di-esclusione.tbl"));
        Choose("cmdOpenGameTable", deep + QStringLiteral("/tabella-dei-caratteri.tbl"));
        QCOMPARE(Find("lblOpen")->toolTip(), inputs.join(u'\n'));
        const QStringList shown = Find<QLabel>("lblOpen")->text().split(u';');
        QCOMPARE(shown.size(), 3);
        for (int i = 0; i < 3; ++i) { // each name in full
            QVERIFY2(shown[i].endsWith(u'/' + inputs[i].section(u'/', -1)), qPrintable(shown[i]));
        }
        // A help text overprints where its lines reach, not in the free end of its box.
        const auto used = [](const QWidget* widget) {
            const auto* help = qobject_cast<const QLabel*>(widget);
            return help != nullptr && help->wordWrap()
                       ? QRect(help->pos(), QSize(help->width(), help->heightForWidth(help->width())))
                       : widget->geometry();
        };
        for (const char* name :
             {"lblOpen", "lblOpenOutput", "lblOpenWriteTable", "lblOpenExcludeTable", "lblOpenGameTable"}) {
            auto* label = Find<QLabel>(name);
            QVERIFY2(label->text().startsWith(u'\u2026'), name); // these paths are too long for their line
            QVERIFY(label->sizeHint().width() <= label->width());
            QVERIFY(label->geometry().right() < Find("pagInput")->width()); // inside the page
            for (QWidget* other : label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                QVERIFY2(other == label || other->isHidden() || !used(other).intersects(label->geometry()),
                         qPrintable(QStringLiteral("%1 over %2").arg(name, other->objectName())));
            }
            placed.remove(label);
        }
        for (auto it = placed.cbegin(); it != placed.cend(); ++it) {
            QVERIFY2(it.key()->geometry() == it.value(), qPrintable(it.key()->objectName()));
        }
        // The motto, once shown, takes the end of the input list's line.
        QTest::mouseDClick(Find("lblKestrin"), Qt::LeftButton);
        QVERIFY(!Find("lblOpen")->geometry().intersects(Find("Label1")->geometry()));
    }

    void inputFilesAreRemovedWithoutReset_data()
    {
        // Keys sent to the list, or "menu@N:" and the entry clicked in the context menu of file N.
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("left"); // the files left, by name
        for (const auto& [row, how, left] :
             {std::array{"Delete removes the file added last", "Delete", "a b"},
              {"Left and Delete remove the one before", "Left Delete", "a c"},
              {"Home, Delete twice", "Home Delete Delete", "c"},
              {"menu on the first file, Rimuovi file", "menu@0:Rimuovi file", "b c"},
              {"menu on the second file, Rimuovi tutti", "menu@1:Rimuovi tutti", ""}}) {
            QTest::newRow(row) << QString(how) << QString(left);
        }
    }

    void inputFilesAreRemovedWithoutReset()
    {
        QFETCH(QString, how);
        for (const char* name : {"a", "b", "c"}) {
            Choose("cmdOpen", Made(name, name));
        }
        Choose("cmdOpenOutput", TempPath("report.txt"));
        TextBox("txtSampleLength")->setText(QStringLiteral("2-3"));
        Check("chkIgnoreTab", true);
        auto* list = Find<InputFileList>("lblOpen");
        list->setFocus(Qt::TabFocusReason);
        QStringList menuEntries;
        if (how.startsWith(QStringLiteral("menu@"))) {
            const int file = how.mid(5, 1).toInt();
            const QString entry = how.section(u':', 1);
            QTimer::singleShot(0, this, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu != nullptr);
                for (QAction* action : menu->actions()) {
                    menuEntries.append(action->text());
                    if (action->text() == entry) {
                        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                    }
                }
            });
            const QFontMetrics metrics(list->font());
            const QStringList shown = list->Shown();
            const int x = metrics.horizontalAdvance((shown.mid(0, file) + QStringList{""}).join(u';')) + 2;
            QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(x, list->height() / 2),
                                    list->mapToGlobal(QPoint(x, list->height() / 2)));
            QApplication::sendEvent(list, &click);
            QCOMPARE(menuEntries, QStringList({"Rimuovi file", "Rimuovi tutti"}));
        } else {
            for (const QString& key : how.split(u' ')) {
                QTest::keyClick(list, key == "Delete" ? Qt::Key_Delete
                                      : key == "Left" ? Qt::Key_Left
                                                      : Qt::Key_Home);
            }
        }
        QFETCH(QString, left);
        QStringList names;
        for (const std::filesystem::path& path : Settings().inputFiles) {
            names.append(QString::fromStdString(path.filename().string()));
        }
        QCOMPARE(names.join(u' '), left);
        QCOMPARE(Button("cmdAnalyze")->isEnabled(), !left.isEmpty());
        QCOMPARE(list->text(), left.isEmpty() ? noFile : list->Shown().join(u';'));
        // Every other setting stays.
        const RunSettings settings = Settings();
        QVERIFY(settings.sampleLengths == "2-3" && settings.ignoreTab &&
                settings.reportFile == ToPath(TempPath("report.txt")));
        if (left.isEmpty()) {
            QCOMPARE(window->focusWidget(), Button("cmdOpen")); // the empty list takes no focus
        }
    }

    void qtOwnTextsAreItalian()
    {
        if (!QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).exists("qtbase_it.qm")) {
            QSKIP("Qt's Italian translations are not installed (Debian's qt6-translations-l10n)");
        }
        QVERIFY(InstallItalianQtTranslations(*qApp));
        QMessageBox box(QMessageBox::NoIcon, {}, {}, QMessageBox::Yes | QMessageBox::No);
        const QString yesNo =
            box.button(QMessageBox::Yes)->text() + u'/' + box.button(QMessageBox::No)->text();
        qDeleteAll(qApp->findChildren<QTranslator*>()); // the other tests see Qt's own texts
        QCOMPARE(yesNo, QStringLiteral("&Sì/&No"));
    }

    void eachControlSetsItsOwnSettingAndResetRestoresItsStart_data()
    {
        // What is done to the controls in turn: "name=value", where a text box takes the text, a check or
        // option button "on" or "off", the combo box an index and a file command a file of the test's
        // folder. Then the settings' fields that changed, as Describe names them ("@" is the test's folder).
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("fields");
        const char* rows[][3] = {
            {"input files", "cmdOpen=t.tbl cmdOpen=a.txt", "FILE=\"@t.tbl\" \"@a.txt\""},
            {"exclusion table", "cmdOpenExcludeTable=t.tbl", "exclude=@t.tbl"},
            {"report file", "cmdOpenOutput=t.tbl", "report=@t.tbl"},
            {"output table", "cmdOpenWriteTable=t.tbl", "table=@t.tbl"},
            {"game table", "cmdOpenGameTable=t.tbl", "game-table=@t.tbl"},
            {"texts", "txtSampleLength=2,4-6 txtTopResults=&H10 txtWriteTableRanges=&H80-&HFF",
             "lengths=2,4-6;top=&H10;ranges=&H80-&HFF"},
            {"ignore switches", "chkIgnoreSpace=on chkIgnoreTab=on", "ignore-space=true;ignore-tab=true"},
            {"ignore CR LF", "chkIgnoreReturn=on", "ignore-return=true"},
            {"beep, no setting", "chkBeepOnFinish=on", ""},
            {"inside, while comments are off", "chkReadInsideComments=on", "inside=true"},
            {"real savings", "chkRealSavings=on", "real-savings=true"},
            // The dictionary bytes go as typed, and only with Risparmio reale.
            {"dictionary bytes", "chkRealSavings=on txtDictionaryBytes=4096",
             "real-savings=true;dictionary-bytes=4096"},
            {"dictionary bytes without real savings",
             "chkRealSavings=on txtDictionaryBytes=4096 chkRealSavings=off", ""},
            {"comments", "chkUseComments=on", "comments=c"},
            {"//", "chkUseComments=on optCPP=on", "comments=cpp"},
            {"<$ >", "chkUseComments=on optThingy=on", "comments=table"},
            {"custom", "chkUseComments=on optCustom=on", "comments=custom"},
            {"back to /*", "chkUseComments=on optCustom=on optC=on", "comments=c"},
            // Delimiters cross as Latin-1, and in UTF-8 as UTF-8.
            {"delimiters", "txtBeginComment=«é txtEndComment=\u00FF", "begin=\xAB\xE9;end=\xFF"},
            {"UTF-8", "cmbEncoding=1 txtBeginComment=«é txtEndComment=ж",
             "encoding=utf-8;begin=\xC2\xAB\xC3\xA9;end=\xD0\xB6"},
            // Switched off and on again, the filter keeps its style and texts.
            {"comments off", "chkUseComments=on optCustom=on txtEndComment=! chkUseComments=off",
             "comments=off custom;end=!"},
            {"comments on again",
             "chkUseComments=on optCustom=on txtEndComment=! chkUseComments=off chkUseComments=on",
             "comments=custom;end=!"},
            // The Dizionario page: "cmdClear...=" clicks the file's ✕. The entry overhead 0 (its start) is
            // left out, and the table to evaluate is read by Valuta alone.
            {"kept entries, overhead, curve",
             "chkRealSavings=on cmdOpenKeepTable=t.tbl txtEntryOverhead=3 chkSavingsCurve=on",
             "real-savings=true;keep=@t.tbl;entry-overhead=3;savings-curve=true"},
            {"the same without real savings",
             "chkRealSavings=on cmdOpenKeepTable=t.tbl txtEntryOverhead=3 chkSavingsCurve=on "
             "chkRealSavings=off",
             ""},
            {"kept entries taken off",
             "chkRealSavings=on cmdOpenKeepTable=t.tbl cmdClearKeepTable=", "real-savings=true"},
            {"encoding preview", "chkRealSavings=on cmdOpenEncodingPreview=t.tbl",
             "real-savings=true;show-encoding=@t.tbl"},
            {"encoding preview without an encoding to show", "cmdOpenEncodingPreview=t.tbl", ""},
            {"encoding preview taken off",
             "chkRealSavings=on cmdOpenEncodingPreview=t.tbl cmdClearEncodingPreview=", "real-savings=true"},
            {"table to evaluate", "cmdOpenEvaluateTable=t.tbl", ""},
        };
        for (const auto& [row, actions, fields] : rows) {
            QTest::newRow(row) << QString::fromUtf8(actions) << QString::fromLatin1(fields);
        }
    }

    void eachControlSetsItsOwnSettingAndResetRestoresItsStart()
    {
        QFETCH(QString, actions);
        QFETCH(QString, fields);
        const auto described = [](const RunSettings& s) { return QString::fromLatin1(testing::Describe(s)); };
        const QString start = described(Settings());
        QCOMPARE(start, described({})); // the engine's defaults, which kestrin-cli shares
        Made("t.tbl", "");
        Made("a.txt", "");
        VerifyCommentControlsEnabled(false);
        for (const QString& action : actions.split(u' ')) {
            const QString name = action.section(u'=', 0, 0);
            const QString value = action.section(u'=', 1);
            if (name.startsWith(QStringLiteral("txt"))) {
                TextBox(name)->setText(value);
            } else if (name.startsWith(QStringLiteral("cmd"))) {
                if (value.isEmpty()) {
                    Button(name)->click();
                } else {
                    Choose(name, TempPath(value));
                }
            } else if (name.startsWith(QStringLiteral("cmb"))) {
                Find<QComboBox>(name)->setCurrentIndex(value.toInt());
            } else {
                Check(name, value == "on");
            }
        }
        std::vector<std::string> changed;
        for (QString field : fields.split(u';', Qt::SkipEmptyParts)) {
            changed.push_back(field.replace(u'@', folder->path() + u'/').toLatin1().toStdString());
        }
        const RunSettings settings = Settings();
        QCOMPARE(described(settings),
                 QString::fromLatin1(testing::WithFields(start.toLatin1().toStdString(), changed)));
        VerifyCommentControlsEnabled(settings.useComments); // the comment switch enables its controls
        QCOMPARE(TextBox("txtDictionaryBytes")->isEnabled(), settings.realSavings);
        QCOMPARE(TextBox("txtEntryOverhead")->isEnabled(), settings.realSavings);

        // Reset puts every setting back to its start.
        Button("cmdReset")->click();
        QCOMPARE(described(Settings()), start);
        for (const char* label :
             {"lblOpen", "lblOpenExcludeTable", "lblOpenOutput", "lblOpenWriteTable", "lblOpenGameTable",
              "lblOpenEvaluateTable", "lblOpenKeepTable", "lblOpenEncodingPreview"}) {
            QCOMPARE(Find<QLabel>(label)->text(), noFile);
        }
        QCOMPARE(TextBox("txtEntryOverhead")->text(), QStringLiteral("0"));
        QVERIFY(TextBox("txtDictionaryBytes")->text().isEmpty() &&
                !TextBox("txtDictionaryBytes")->isEnabled());
        for (QCheckBox* box : window->findChildren<QCheckBox*>()) {
            QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
        }
        VerifyCommentControlsEnabled(false);
        QVERIFY(!Button("cmdAnalyze")->isEnabled());
        QCOMPARE(Tabs()->currentIndex(), 0);
        QCOMPARE(window->focusWidget(), Button("cmdOpen"));
        Choose("cmdOpen", TempPath("a.txt")); // the next file replaces the placeholder instead of joining it
        QCOMPARE(Find<QLabel>("lblOpen")->text(), TempPath("a.txt"));
    }

    // A delimiter character without a Latin-1 byte refuses the run and takes the user to its box, but only
    // while the custom style reads the boxes.
    void aDelimiterWithoutALatin1ByteSendsTheUserToItsBox()
    {
        auto* encoding = Find<QComboBox>("cmbEncoding");
        QCOMPARE(encoding->currentText() + u' ' + encoding->itemText(1), QStringLiteral("Latin-1 UTF-8"));
        Choose("cmdOpen", Made("a.txt", ""));
        Check("chkUseComments", true);
        Check("optCustom", true);
        TextBox("txtBeginComment")->setText(QStringLiteral("a"));
        TextBox("txtEndComment")->setText(QStringLiteral("ж"));
        AnswerBoxes({QMessageBox::Ok});
        Button("cmdAnalyze")->click();
        QCOMPARE(boxes.size(), std::size_t{1});
        QVERIFY2(boxes[0].text.contains(QStringLiteral("box \"Fine\" holds the character \"ж\" (U+0436)")),
                 qPrintable(boxes[0].text));
        QCOMPARE(Tabs()->currentIndex(), 2);
        QCOMPARE(window->focusWidget(), TextBox("txtEndComment"));
        Check("optThingy", true);
        QVERIFY(std::holds_alternative<RunSettings>(window->ReadSettings()));
    }

    void progressIsShownInTheWindowsWords()
    {
        QLabel calc;
        QLabel addr;
        QLabel count;
        CompletionLine line(Qt::blue, 3, nullptr);
        line.resize(600, 3);
        const bool cancelRequested = false;
        WindowRunObserver observer({nullptr, &calc, &addr, &count, &line, nullptr, nullptr}, cancelRequested);
        observer.ShowProgress({RunPhase::Counting, 2, 3, 351, 40, 0.25, std::nullopt, {}});
        QCOMPARE(calc.text(), QStringLiteral("Calcolo in corso... Indirizzo corrente: 2/3:"));
        QCOMPARE(addr.text() + u' ' + count.text(), QStringLiteral("351 40"));
        QCOMPARE(line.X2(), 150);
        observer.ShowProgress({RunPhase::Ranking, 3, 3, 1001, 41, 1.0, 7, "&H10"});
        QCOMPARE(addr.text(), QStringLiteral("7 of &H10"));
    }

    // Each refusal of the shared table names the captions, the file and where in it the fault lies, and
    // sends the user to the box or button that corrects it.
    void refusalsOfTheGamesCharactersNameTheirBox()
    {
        for (const testing::CharacterRefusalCase& c : testing::characterRefusalCases) {
            const bool utf8 = c.encoding == TextEncoding::Utf8;
            Find<QComboBox>("cmbEncoding")->setCurrentIndex(utf8 ? 1 : 0); // the text is shown in it
            AnswerBoxes({QMessageBox::Ok});
            const QWidget* toCorrect =
                window->ShowOutcome({.status = RunStatus::Refused, .refusal = c.refusal});
            QCOMPARE(boxes.size(), std::size_t{1});
            QVERIFY(boxes[0].text.startsWith(QStringLiteral("The analysis did not start: ")));
            std::vector<std::string> pieces = testing::RefusalValues(c.refusal);
            pieces.insert(pieces.end(), c.window.begin(), c.window.end());
            for (const std::string& piece : pieces) {
                const QString text = utf8 ? QString::fromStdString(piece) : QString::fromLatin1(piece);
                QVERIFY2(boxes[0].text.contains(text), qPrintable(boxes[0].text + u'\n' + text));
            }
            QCOMPARE(toCorrect != nullptr ? toCorrect->objectName() : QString(),
                     QString::fromLatin1(c.control));
        }
        // A table of the Dizionario page is named as the refusal's role, and its command chooses another.
        AnswerBoxes({QMessageBox::Ok});
        const Refusal kept{.reason = Refusal::Reason::BadTableLine,
                           .role = FileRole::KeptTable,
                           .path = "k.tbl",
                           .text = "x",
                           .line = 3};
        QCOMPARE(window->ShowOutcome({.status = RunStatus::Refused, .refusal = kept}),
                 Find("cmdOpenKeepTable"));
        QVERIFY2(boxes[0].text.contains(
                     QStringLiteral("line 3 of the table of kept entries (Apri Voci da Tenere) k.tbl")),
                 qPrintable(boxes[0].text));
    }

    void aRunShowsItsReportAndTheSettingsItCorrected()
    {
        // Paths that are not ASCII show as the file system names them; the text stays bytes shown as Latin-1.
        const QString input =
            Made(QStringLiteral("città.po"), "perché? perché la porta non si apre, perché\tè chiusa.\r\n");
        const QString other = Made(QString(200, u'x'), "");
        for (const QString& path : {input, other, input}) {
            Choose("cmdOpen", path);
        }
        QCOMPARE(Find("lblOpen")->toolTip(), input + '\n' + other + '\n' + input);
        Choose("cmdOpenOutput", TempPath("report.txt"));
        TextBox("txtSampleLength")->setText(QStringLiteral("1-3"));
        TextBox("txtTopResults")->setText(QStringLiteral("x")); // not a number: the run uses 25
        Check("chkIgnoreSpace", true);
        Check("chkUseComments", true);
        Check("optCustom", true); // with an empty begin box: the filter switches itself off

        Button("cmdAnalyze")->click();

        VerifyIdleAfterRun();
        QFile written(TempPath("report.txt"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QString report = QString::fromLatin1(written.readAll().chopped(2)); // the file's extra CR LF
        report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QString names = "Filename:" + input + "\nFilename:" + other + "\nFilename:" + input + '\n';
        const QString rest = report.mid(report.indexOf(QStringLiteral("Total characters")));
        QCOMPARE(Results(), names + rest);
        QVERIFY(rest.contains(QStringLiteral("Sample lengths requested:1 2 3 \n")) &&
                rest.contains(u'\u00C3'));
        QVERIFY(rest.contains(QStringLiteral("\n25:")) &&
                rest.contains(QStringLiteral("containing a space")));
        QCOMPARE(TextBox("txtTopResults")->text(), QStringLiteral("25"));
        QVERIFY(!Find<QCheckBox>("chkUseComments")->isChecked() && !Settings().useComments);
        VerifyCommentControlsEnabled(false);

        // Back leads from the report to the first page (its header leads back to it: see the curve's test).
        Button("cmdBack")->click();
        QCOMPARE(Tabs()->currentIndex(), 0);
    }

    // A result holding a CR or an LF stays out of the table, whose lines it would split, and a code the
    // table already held is named: one box says both.
    void theTableKeepsOutLineBreaksAndTheWindowSaysSo()
    {
        Choose("cmdOpen", Made("cr.txt", "a\rb\ra\n"));
        Choose("cmdOpenWriteTable", Made("out.tbl", "84=old\r\n"));
        TextBox("txtWriteTableRanges")->setText(QStringLiteral("&H80-&H85"));
        AnswerBoxes({QMessageBox::Ok});
        Button("cmdAnalyze")->click();

        VerifyIdleAfterRun();
        QCOMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(boxes[0].text,
                 QStringLiteral("2 results (the first is result 0) hold a CR or an LF, which would split the "
                                "lines of the output table (Apri Tabella Output): they were not written "
                                "there, and their codes stay unused.\n\nThe output table (Apri Tabella "
                                "Output) already held the code 84, which this run appended again: choose "
                                "Intervalli that the table does not use."));
        QFile table(TempPath("out.tbl"));
        QVERIFY(table.open(QIODevice::ReadOnly));
        QCOMPARE(table.readAll(), QByteArray("84=old\r\n\r\n81=a\r\n82=\0\r\n84=b\r\n", 28));
    }

    // Through a game table in UTF-8, the results show as the text they are, with the game's bytes, and the
    // output table receives the entries as text.
    void aRunInTheGamesCharactersShowsTheirText()
    {
        Choose("cmdOpen",
               Made("script.txt", "\xE3\x81\xB0\xE3\x81\x8B<LINE>\xE3\x81\xB0\xE3\x81\x8B<LINE>\r\n"));
        Find<QComboBox>("cmbEncoding")->setCurrentIndex(1);
        Choose("cmdOpenGameTable",
               Made("game.tbl", "8801=\xE3\x81\xB0\r\n8802=\xE3\x81\x8B\r\nFE=<LINE>\r\n"));
        Choose("cmdOpenWriteTable", TempPath("out.tbl"));
        // 88 begins the game's codes 8801 and 8802: the window says so.
        TextBox("txtWriteTableRanges")->setText(QStringLiteral("&H88-&H8D"));
        TextBox("txtSampleLength")->setText(QStringLiteral("3"));
        Check("chkRealSavings", true);
        AnswerBoxes({QMessageBox::Ok});
        Button("cmdAnalyze")->click();

        VerifyIdleAfterRun();
        QCOMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(
            boxes[0].text,
            QStringLiteral("The code 88 written to the output table (Apri Tabella Output) is a code of the "
                           "game's character table (Apri Tabella Caratteri) too, or begins or is begun by "
                           "one of its codes, which an inserter reading both could not tell apart: choose "
                           "Intervalli that the game does not use."));
        QVERIFY2(
            Results().contains(QStringLiteral("0: total space = 8; hits = 2; string = \u3070\u304B<LINE>; "
                                              "hex = 88018802FE; len = 5")),
            qPrintable(Results()));
        QFile table(TempPath("out.tbl"));
        QVERIFY(table.open(QIODevice::ReadOnly));
        QCOMPARE(table.readAll(), QByteArray("\r\n88=\xE3\x81\xB0\xE3\x81\x8B<LINE>\r\n"));
    }

    // Valuta runs at once with the table to evaluate, and Analizza never evaluates.
    void valutaRunsTheAnalysisWithTheTableToEvaluate()
    {
        std::vector<RunSettings> runs;
        window->SetAnalysis([&](const RunSettings& settings, RunObserver&) {
            runs.push_back(settings);
            return RunOutcome{};
        });
        const QString table = Made("t.tbl", "80=la\r\n");
        Choose("cmdOpenEvaluateTable", table);
        QVERIFY(!Button("cmdEvaluate")->isEnabled()); // nothing to evaluate on yet
        Choose("cmdOpen", Made("a.txt", "la porta"));
        Button("cmdEvaluate")->click();
        VerifyIdleAfterRun();
        Button("cmdAnalyze")->click();
        QCOMPARE(runs.size(), std::size_t{2});
        QCOMPARE(runs[0].evaluateTable, ToPath(table));
        QVERIFY(!runs[1].evaluateTable);
    }

    // A run that drew the savings curve offers it below the report; the picture saves as SVG.
    void aCurveOutcomeShowsThePictureAndSavesItAsSvg()
    {
        std::deque<RunOutcome> outcomes(2);
        outcomes.front().curve = {
            {0, 1000, 0, true}, {1, 900, 5, false}, {2, 850, 10, true}, {3, 845, 16, true}};
        window->SetAnalysis([&](const RunSettings&, RunObserver&) {
            RunOutcome next = outcomes.front();
            outcomes.pop_front();
            return next;
        });
        Choose("cmdOpen", Made("a.txt", "x"));
        Button("cmdAnalyze")->click();
        QVERIFY(Button("cmdCurve")->isVisible());
        ClickHeader(0);
        QVERIFY(Button("cmdCurve")->isHidden()); // the results page offers it
        ClickHeader(5);
        Button("cmdCurve")->click();
        QVERIFY(Find("picCurve")->isVisible());

        Choose("cmdSaveCurve", TempPath("curve.svg"));
        QVERIFY(dialogs->requests.back().save && dialogs->requests.back().confirmOverwrite);
        QFile file(TempPath("curve.svg"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader svg(&file);
        QStringList texts;
        while (!svg.atEnd()) {
            if (svg.readNext() == QXmlStreamReader::StartElement && svg.name() == QStringLiteral("text")) {
                texts.append(svg.readElementText());
            }
        }
        QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
        // The smallest sum of script and dictionary, not the smallest script, is marked.
        QVERIFY2(texts.contains(QStringLiteral("minimo: 860 byte con 2 voci")), qPrintable(texts.join(u'|')));
        AnswerBoxes({QMessageBox::Ok});
        Choose("cmdSaveCurve", TempPath("no folder/curve.svg"));
        QCOMPARE(boxes.size(), std::size_t{1});
        QVERIFY2(boxes[0].text.startsWith(QStringLiteral("The savings curve could not be saved:\n") +
                                          TempPath("no folder/curve.svg")),
                 qPrintable(boxes[0].text));

        Button("cmdAnalyze")->click(); // a run without a curve leaves the page as it was
        QVERIFY(Button("cmdCurve")->isHidden() && Find("picCurve") == nullptr);
    }

    void aRunCanBeStopped_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("by a click") << "click";
        QTest::newRow("by the Escape key") << "escape";
        QTest::newRow("by closing the window, which waits for the run") << "close";
        QTest::newRow("by Ctrl+Q, which closes the window as its close button does") << "ctrl+q";
    }

    void aRunCanBeStopped()
    {
        QFETCH(QString, how);
        // Random bytes: with lengths 1 to 3 nearly every window is a new string, so counting takes a while.
        QByteArray bytes(8'000'000, '\0');
        std::independent_bits_engine<std::mt19937, 8, unsigned> random(12345);
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
        const QString input = Made("big.bin", bytes);
        Choose("cmdOpen", input);
        TextBox("txtSampleLength")->setText(QStringLiteral("1-3"));
        QTest::keyClick(window.get(), Qt::Key_Escape); // nothing to cancel yet
        QVERIFY(!window->IsRunning());

        // Stop once the counting has visibly moved past the first position.
        bool sawRun = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!window->IsRunning() || Find<QLabel>("lblAddr")->text().toLongLong() <= 1 || sawRun) {
                return;
            }
            sawRun = true;
            QCOMPARE(Button("cmdAnalyze")->text(), QStringLiteral("Annulla"));
            QVERIFY(!Tabs()->tabBar()->isEnabled() && !Button("cmdOpen")->isEnabled() &&
                    !Button("cmdReset")->isEnabled());
            // The progress shows, not greyed out, and no key or call turns the page while the run works.
            QVERIFY(Find("lblCalc")->isVisible() && Find("lblCalc")->isEnabled() &&
                    Find("linCompletion")->isVisible());
            QTest::keyClick(Tabs(), Qt::Key_Tab, Qt::ControlModifier);
            Tabs()->setCurrentIndex(0);
            QCOMPARE(Tabs()->currentIndex(), 4);
            QVERIFY(!Button("cmdBack")->isEnabled() && !Button("cmdNext")->isEnabled());
            if (how == "escape") {
                QTest::keyClick(window.get(), Qt::Key_Escape);
            } else if (how == "click") {
                QVERIFY(!Drop(window.get(), {input})); // no file joins a working run
                Button("cmdAnalyze")->click();
                Button("cmdAnalyze")->click(); // a second click is the same one cancel
            } else {
                if (how == "close") {
                    window->close();
                } else {
                    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
                }
                QVERIFY(window->isVisible());
            }
        });
        poll.start(5);
        Button("cmdAnalyze")->click();

        QVERIFY(sawRun);
        QCOMPARE(Settings().inputFiles.size(), std::size_t{1});
        if (how == "close" || how == "ctrl+q") {
            QVERIFY(!window->isVisible() && !window->IsRunning());
            return;
        }
        VerifyIdleAfterRun();
        QCOMPARE(Results(), resultsAtStart);

        // The next run starts afresh and is not cancelled by the earlier request.
        WriteFile(input, "abcabc");
        Button("cmdAnalyze")->click();
        VerifyIdleAfterRun();
        QVERIFY(Results().contains(QStringLiteral("Number of different")));
    }

    void aRunThatEndsEarlySaysWhyAndTheWindowRecovers_data()
    {
        QTest::addColumn<QString>("sampleLength");
        QTest::addColumn<bool>("inputExists"); // it holds "abc"; otherwise it goes once it was chosen
        QTest::addColumn<bool>("reportOnInput");
        QTest::addColumn<QString>("answers"); // to each box in turn: O = OK, Y = Yes, N = No
        QTest::addColumn<QString>("message"); // a piece of the last box's text
        QTest::addColumn<bool>("sampleSelected");
        QTest::newRow("no sample length") << "abc" << true << false << "O"
                                          << "Lunghezza(e) campione" << true;
        QTest::newRow("input file gone, kept in the list") << "2" << false << false << "N"
                                                           << "missing: No such file or directory" << false;
        QTest::newRow("input file gone, taken off the list") << "2" << false << false << "Y"
                                                             << "Remove it from the input files?" << false;
        QTest::newRow("report file on the input") << "2" << true << true << "O"
                                                  << "is also an input file" << false;
        QTest::newRow("No to the long-length question, after the many-lengths warning")
            << "1-250" << true << false << "ON"
            << "way too long" << true;
    }

    void aRunThatEndsEarlySaysWhyAndTheWindowRecovers()
    {
        QFETCH(QString, sampleLength);
        QFETCH(bool, inputExists);
        QFETCH(bool, reportOnInput);
        QFETCH(QString, answers);
        QFETCH(QString, message);
        const QString path = Made(inputExists ? "present" : "missing", "abc");
        Choose("cmdOpen", path);
        if (!inputExists) {
            QVERIFY(QFile::remove(path));
        }
        if (reportOnInput) {
            Choose("cmdOpenOutput", path);
        }
        TextBox("txtSampleLength")->setText(sampleLength);
        // What an earlier run left on the progress page.
        Find<QLabel>("lblAddr")->setText(QStringLiteral("25 of 25"));
        static_cast<CompletionLine*>(Find("linCompletion"))->SetX2(600);
        std::deque<QMessageBox::StandardButton> buttons;
        for (const QChar answer : answers) {
            buttons.push_back(answer == u'O'   ? QMessageBox::Ok
                              : answer == u'Y' ? QMessageBox::Yes
                                               : QMessageBox::No);
        }
        AnswerBoxes(buttons);
        Button("cmdAnalyze")->click();

        QCOMPARE(boxes.size(), static_cast<std::size_t>(answers.size()));
        QVERIFY2(boxes.back().text.contains(message), qPrintable(boxes.back().text));
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const bool question = answers[static_cast<qsizetype>(i)] != u'O';
            QCOMPARE(boxes[i].buttons, question ? QMessageBox::Yes | QMessageBox::No
                                                : QMessageBox::StandardButtons(QMessageBox::Ok));
            if (question) {
                QCOMPARE(boxes[i].defaultButton, QMessageBox::Yes);
            }
        }
        VerifyIdleAfterRun(reportOnInput ? "cmdOpenOutput" : "txtResults");
        QCOMPARE(Results(), resultsAtStart);
        QFETCH(bool, sampleSelected);
        QCOMPARE(TextBox("txtSampleLength")->selectedText(), sampleSelected ? sampleLength : QString());
        if (inputExists) {
            QCOMPARE(QFile(path).size(), 3); // never replaced by a report
        }
        // The progress page started afresh, and nothing of this run reached it.
        QCOMPARE(Find<QLabel>("lblAddr")->text() + u' ' + Find<QLabel>("lblMatchCount")->text(),
                 QStringLiteral("0 0"));
        QCOMPARE(static_cast<CompletionLine*>(Find("linCompletion"))->X2(), 0);
        // A file taken off the list leaves nothing to analyse, and every other setting as it was.
        const bool removed = answers == "Y";
        QCOMPARE(Settings().inputFiles.size(), removed ? std::size_t{0} : std::size_t{1});
        QCOMPARE(Button("cmdAnalyze")->isEnabled(), !removed);
        QCOMPARE(Settings().sampleLengths, sampleLength.toStdString());
    }
};

QTEST_MAIN(FrmFrequencyTest)
#include "frm_frequency_test.moc"
