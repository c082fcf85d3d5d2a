#include "fake_file_dialogs.h"
#include "file_dialogs.h"
#include "frm_frequency.h"
#include "latin1.h"

#include "kestrin/report.h"
#include "kestrin/run_analysis.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <functional>
#include <memory>
#include <random>

using namespace kestrin;

namespace {

const QString noFile = QStringLiteral("--Nessun file specificato--");

void WriteFile(const QString& path, std::string_view bytes)
{
    std::ofstream out(ToPath(path), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Random bytes: with lengths 1 to 3 nearly every window is a new string, so counting takes a while.
std::string RandomBytes(std::size_t size)
{
    std::mt19937 random(12345);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

// What a modal message box showed before the test answered it.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Answers the next message box that appears with the given button; *seen records it.
void AnswerNextBox(QMessageBox::StandardButton answer, SeenBox* seen)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        seen->seen = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->buttons = box->standardButtons();
        seen->defaultButton = box->standardButton(box->defaultButton());
        box->button(answer)->click();
    });
    poll->start(5);
}

// The report as the results box shows it, with the elapsed time masked out.
QString Comparable(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QRegularExpression(QStringLiteral("Elapsed time: \\d\\d:\\d\\d:\\d\\d")),
                 QStringLiteral("Elapsed time: **:**:**"));
    return text;
}

// An observer that lets a run go through without a window.
class QuietObserver final : public RunObserver
{
public:
    void ShowProgress(const Progress&) override {}
    bool YieldAndCheckCancel() override { return false; }
    void WarnManyLengths(std::size_t) override {}
    bool ConfirmLongLength(std::int64_t) override { return true; }
    void ResetTopResults(std::string_view) override {}
    void ClearUseComments() override {}
};

} // namespace

class FrmFrequencyTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FrmFrequency> window;
    FakeFileDialogs* dialogs = nullptr;
    std::unique_ptr<QTemporaryDir> folder;

    template <typename T> T* Find(const char* name) const
    {
        T* widget = window->findChild<T*>(QLatin1StringView(name));
        if (widget == nullptr) {
            qFatal("no widget named %s", name);
        }
        return widget;
    }
    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
    QTabWidget* Tabs() const { return Find<QTabWidget>("SSTab1"); }
    RunSettings Settings() const
    {
        auto read = window->ReadSettings();
        if (!std::holds_alternative<RunSettings>(read)) {
            qFatal("the settings were refused: %s", qPrintable(std::get<QString>(read)));
        }
        return std::get<RunSettings>(read);
    }
    QString TempPath(const char* name) const { return folder->filePath(QLatin1StringView(name)); }

    // Chooses an input file through cmdOpen.
    void AddInputFile(const QString& path)
    {
        dialogs->answers.push_back(DialogAnswer::Chose(path));
        Button("cmdOpen")->click();
    }

    void ClickHeader(int page)
    {
        QTabBar* bar = Tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    }

    // The idle state that every run, however it ended, leaves behind.
    void VerifyIdleAfterRun()
    {
        QVERIFY(!window->IsRunning());
        QCOMPARE(Button("cmdAnalyze")->text(), QStringLiteral("&Analzza"));
        QCOMPARE(Tabs()->currentIndex(), 4);
        QVERIFY(Tabs()->tabBar()->isTabEnabled(4));
        QVERIFY(Tabs()->tabBar()->isEnabled());
        QVERIFY(Button("cmdOpen")->isEnabled());
        QVERIFY(Button("cmdReset")->isEnabled());
        QVERIFY(Button("cmdBack")->isEnabled());
        QVERIFY(!Button("cmdNext")->isEnabled());
        QVERIFY(Find<QLabel>("lblCalc")->isHidden());
        QVERIFY(Find<QLabel>("lblAddr")->isHidden());
        QVERIFY(Find<QWidget>("linCompletion")->isHidden());
        QCOMPARE(window->focusWidget(), Find<QWidget>("txtResults"));
    }

private slots:
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
        window.reset();
        folder.reset();
    }

    void startsOnTheInputPageWithTheLaterPagesLocked()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Kestrin 0.03"));
        QCOMPARE(window->size(), QSize(626, 435));
        QCOMPARE(Tabs()->currentIndex(), 0);
        QVERIFY(!Tabs()->tabBar()->isTabEnabled(3));
        QVERIFY(!Tabs()->tabBar()->isTabEnabled(4));
        QVERIFY(!Button("cmdBack")->isEnabled());
        QVERIFY(Button("cmdNext")->isEnabled());
        QVERIFY(!Button("cmdAnalyze")->isEnabled());
        QCOMPARE(Button("cmdAnalyze")->text(), QStringLiteral("Anali&zza"));
        for (const char* hidden : {"Label1", "lblCalc", "lblAddr", "linCompletion"}) {
            QVERIFY2(Find<QWidget>(hidden)->isHidden(), hidden);
        }
        // A page header the user cannot select stays unselected when clicked.
        ClickHeader(4);
        QCOMPARE(Tabs()->currentIndex(), 0);
        // A settings-free start gives the default run.
        RunSettings defaults;
        defaults.threads = Settings().threads;
        QCOMPARE(Settings().sampleLengths, defaults.sampleLengths);
        QCOMPARE(Settings().topResults, defaults.topResults);
        QVERIFY(Settings().inputFiles.empty());
    }

    void captionsShowTheirAmpersandsAsDesigned()
    {
        // Labels without an access key show "&&" as one "&"; the tab headers and buttons keep theirs.
        QVERIFY(
            Find<QLabel>("lblInfoOpenWriteTable")->text().endsWith(QStringLiteral("metti il prefisso &H.")));
        QCOMPARE(Find<QLabel>("lblSampleSize")->buddy(), Find<QWidget>("txtSampleLength"));
        QCOMPARE(Find<QLabel>("lblTop")->buddy(), Find<QWidget>("txtTopResults"));
        const QStringList headers = {QStringLiteral("I&nput"), QStringLiteral("Out&put"),
                                     QStringLiteral("&Formattazione"), QStringLiteral("Ana&lisi"),
                                     QStringLiteral("&Risultati")};
        for (int i = 0; i < headers.size(); ++i) {
            QCOMPARE(Tabs()->tabText(i), headers[i]);
        }
    }

    void textsFitTheirBoxes()
    {
        // Every wrapped help text has room for all its lines, and every one-line caption for its width.
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->wordWrap()) {
                QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                         qPrintable(label->objectName()));
            } else {
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->objectName()));
            }
        }
        auto* wrapped = Find<QCheckBox>("chkReadInsideComments");
        QVERIFY(wrapped->sizeHint().height() <= wrapped->height());
    }

    void focusFollowsTheDesignedOrder()
    {
        const QStringList expected = {"cmdAnalyze",
                                      "SSTab1",
                                      "cmdOpen",
                                      "txtSampleLength",
                                      "txtTopResults",
                                      "cmdOpenOutput",
                                      "cmdOpenWriteTable",
                                      "txtWriteTableRanges",
                                      "chkBeepOnFinish",
                                      "chkUseComments",
                                      "optC",
                                      "optCPP",
                                      "optThingy",
                                      "optCustom",
                                      "txtBeginComment",
                                      "txtEndComment",
                                      "chkReadInsideComments",
                                      "cmdOpenExcludeTable",
                                      "chkIgnoreSpace",
                                      "chkIgnoreReturn",
                                      "chkIgnoreTab",
                                      "txtResults",
                                      "cmdBack",
                                      "cmdNext",
                                      "cmdReset"};
        QStringList chain;
        QWidget* widget = Button("cmdAnalyze");
        do {
            // Widgets that hand their focus on, and the tab bar's own scroll buttons, are not stops.
            const bool stop = (widget->focusPolicy() & Qt::TabFocus) && widget->focusProxy() == nullptr &&
                              widget->parentWidget() != Tabs()->tabBar();
            if (stop) {
                chain.append(widget == Tabs()->tabBar() ? QStringLiteral("SSTab1") : widget->objectName());
            }
            widget = widget->nextInFocusChain();
        } while (widget != Button("cmdAnalyze") && chain.size() < 100);
        QCOMPARE(chain, expected);
    }

    void navigation_data()
    {
        QTest::addColumn<QString>("steps"); // b = Back, n = Next, digit = click on that page header
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("back");
        QTest::addColumn<bool>("next");
        QTest::newRow("next from input") << "n" << 1 << true << true;
        QTest::newRow("next on output reaches the last settings page") << "nn" << 2 << true << false;
        QTest::newRow("back from formatting") << "nnb" << 1 << true << true;
        QTest::newRow("back to input") << "nb" << 0 << false << true;
        QTest::newRow("header click on formatting") << "2" << 2 << true << false;
        QTest::newRow("header click on output, then input") << "10" << 0 << false << true;
        QTest::newRow("locked progress header") << "13" << 1 << true << true;
    }

    void navigation()
    {
        QFETCH(QString, steps);
        for (const QChar step : steps) {
            if (step == u'b') {
                Button("cmdBack")->click();
            } else if (step == u'n') {
                Button("cmdNext")->click();
            } else {
                ClickHeader(step.digitValue());
            }
        }
        QTEST(Tabs()->currentIndex(), "page");
        QTEST(Button("cmdBack")->isEnabled(), "back");
        QTEST(Button("cmdNext")->isEnabled(), "next");
    }

    void numberBoxesSelectTheirTextOnFocus()
    {
        auto* sampleLength = Find<QLineEdit>("txtSampleLength");
        sampleLength->setText(QStringLiteral("1,3-5"));
        QTest::keyClick(window.get(), Qt::Key_L, Qt::AltModifier); // the access key of lblSampleSize
        QCOMPARE(QApplication::focusWidget(), sampleLength);
        QCOMPARE(sampleLength->selectedText(), QStringLiteral("1,3-5"));

        Button("cmdNext")->click();
        auto* topResults = Find<QLineEdit>("txtTopResults");
        QTest::keyClick(window.get(), Qt::Key_V, Qt::AltModifier); // the access key of lblTop
        QCOMPARE(QApplication::focusWidget(), topResults);
        QCOMPARE(topResults->selectedText(), QStringLiteral("25"));
        QTest::keyClicks(topResults, QStringLiteral("123456"));
        QCOMPARE(topResults->text(), QStringLiteral("1234")); // a fifth character is refused

        auto* ranges = Find<QLineEdit>("txtWriteTableRanges");
        ranges->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), ranges);
        QVERIFY(!ranges->hasSelectedText());
    }

    void fileDialogRequestsFollowTheFilterLists_data()
    {
        QTest::addColumn<QString>("pairs");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QString>("selected");
        QTest::newRow("text files, first entry")
            << "All Files|*.*|Text Files(*.txt)|*.txt" << 1
            << QStringList{"All Files (*)", "Text Files(*.txt) (*.txt)"} << "All Files (*)";
        QTest::newRow("a trailing bar adds no entry")
            << "All Files|*.*|Text Files(*.txt)|*.txt|" << 2
            << QStringList{"All Files (*)", "Text Files(*.txt) (*.txt)"} << "Text Files(*.txt) (*.txt)";
        QTest::newRow("entry out of range selects the first")
            << "All Files|*.*|Table Files(*.tbl)|*.tbl" << 3
            << QStringList{"All Files (*)", "Table Files(*.tbl) (*.tbl)"} << "All Files (*)";
        QTest::newRow("half a pair is dropped")
            << "Tables|*.tbl|Orphan" << 1 << QStringList{"Tables (*.tbl)"} << "Tables (*.tbl)";
        QTest::newRow("empty") << "" << 1 << QStringList{} << "";
    }

    void fileDialogRequestsFollowTheFilterLists()
    {
        QFETCH(QString, pairs);
        QFETCH(int, entry);
        const FileDialogRequest request = MakeFileDialogRequest(pairs, entry);
        QTEST(request.nameFilters, "filters");
        QTEST(request.selectedFilter, "selected");
    }

    void fileChoosers_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("selected");
        QTest::newRow("exclusion table") << "cmdOpenExcludeTable"
                                         << "lblOpenExcludeTable" << false << "Table Files(*.tbl) (*.tbl)";
        QTest::newRow("report file") << "cmdOpenOutput"
                                     << "lblOpenOutput" << true << "Text Files(*.txt) (*.txt)";
        QTest::newRow("output table") << "cmdOpenWriteTable"
                                      << "lblOpenWriteTable" << true << "Table Files(*.tbl) (*.tbl)";
    }

    void fileChoosers()
    {
        QFETCH(QString, command);
        QFETCH(QString, label);
        const auto path = [&](const RunSettings& settings) -> std::optional<std::filesystem::path> {
            return command == "cmdOpenExcludeTable" ? settings.exclusionTable
                   : command == "cmdOpenOutput"     ? settings.reportFile
                                                    : settings.outputTable;
        };
        auto* button = Button(command.toLatin1().constData());
        auto* shown = Find<QLabel>(label.toLatin1().constData());

        button->click(); // cancelled: nothing changes
        QCOMPARE(shown->text(), noFile);
        QVERIFY(!path(Settings()));

        const QString chosen = TempPath("chosen file.tbl");
        dialogs->answers.push_back(DialogAnswer::Chose(chosen));
        button->click();
        QCOMPARE(shown->text(), chosen);
        QCOMPARE(path(Settings()), ToPath(chosen));
        QTEST(dialogs->requests.back().save, "save");
        QTEST(dialogs->requests.back().request.selectedFilter, "selected");

        button->click(); // a later cancel keeps the choice
        QCOMPARE(shown->text(), chosen);
        QCOMPARE(path(Settings()), ToPath(chosen));
        QCOMPARE(dialogs->requests.size(), std::size_t{3});
    }

    void inputFilesAreListedInOrderAndTheLabelGrows()
    {
        auto* lblOpen = Find<QLabel>("lblOpen");
        const int startWidth = lblOpen->width();
        Button("cmdOpen")->click(); // cancelled
        QVERIFY(!Button("cmdAnalyze")->isEnabled());
        QCOMPARE(lblOpen->text(), noFile);

        const QString first = TempPath("a.txt");
        const QString second = QString(200, u'x') + QStringLiteral(".txt");
        AddInputFile(first);
        QVERIFY(Button("cmdAnalyze")->isEnabled());
        QCOMPARE(lblOpen->text(), first);
        QCOMPARE(dialogs->requests.back().request.selectedFilter, QStringLiteral("All Files (*)"));
        AddInputFile(second);
        AddInputFile(first);
        QCOMPARE(lblOpen->text(), first + ';' + second + ';' + first);
        QVERIFY(lblOpen->width() > startWidth);
        QCOMPARE(lblOpen->width(), lblOpen->sizeHint().width());
        const std::vector<std::filesystem::path> expected = {ToPath(first), ToPath(second), ToPath(first)};
        QCOMPARE(Settings().inputFiles, expected);
    }

    void aFailedDialogShowsTheFatalErrorAndCloses()
    {
        dialogs->answers.push_back(DialogAnswer::Fail(32766, QStringLiteral("The dialog broke")));
        SeenBox box;
        AnswerNextBox(QMessageBox::Ok, &box);
        Button("cmdOpen")->click();
        QVERIFY(box.seen);
        QCOMPARE(box.title, QStringLiteral("Huge Error!"));
        QVERIFY2(box.text.startsWith(
                     QStringLiteral("Error: 32766\r\nThe dialog broke\r\n\r\nHit OK to close Kestrin. ")),
                 qPrintable(box.text));
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(!window->isVisible());
        QCOMPARE(Find<QLabel>("lblOpen")->text(), noFile);
    }

    void settingsComeFromTheControls()
    {
        Find<QLineEdit>("txtSampleLength")->setText(QStringLiteral("2,4-6"));
        Find<QLineEdit>("txtTopResults")->setText(QStringLiteral("&H10"));
        Find<QLineEdit>("txtWriteTableRanges")->setText(QStringLiteral("&H80-&HFF"));
        Find<QCheckBox>("chkIgnoreSpace")->setChecked(true);
        Find<QCheckBox>("chkIgnoreTab")->setChecked(true);
        Find<QCheckBox>("chkBeepOnFinish")->setChecked(true);
        RunSettings settings = Settings();
        QCOMPARE(settings.sampleLengths, std::string("2,4-6"));
        QCOMPARE(settings.topResults, std::string("&H10"));
        QCOMPARE(settings.writeTableRanges, std::string("&H80-&HFF"));
        QVERIFY(settings.ignoreSpace && settings.ignoreTab && !settings.ignoreReturn);
        QVERIFY(settings.beepOnFinish);
        QVERIFY(!settings.useComments);

        const std::pair<const char*, CommentStyle> styles[] = {{"optCPP", CommentStyle::Cpp},
                                                               {"optThingy", CommentStyle::Thingy},
                                                               {"optCustom", CommentStyle::Custom},
                                                               {"optC", CommentStyle::C}};
        Find<QCheckBox>("chkUseComments")->setChecked(true);
        for (const auto& [option, style] : styles) {
            Find<QRadioButton>(option)->setChecked(true);
            QVERIFY2(Settings().commentStyle == style, option);
        }
        QVERIFY(Settings().useComments);
    }

    void delimitersCrossAsLatin1()
    {
        Find<QCheckBox>("chkUseComments")->setChecked(true);
        Find<QRadioButton>("optCustom")->setChecked(true);
        Find<QLineEdit>("txtBeginComment")->setText(QStringLiteral("«é"));
        Find<QLineEdit>("txtEndComment")->setText(QStringLiteral("\u00FF"));
        QCOMPARE(Settings().beginComment, std::string("\xAB\xE9"));
        QCOMPARE(Settings().endComment, std::string("\xFF"));

        // A character with no byte refuses the run, naming the box, but only while the custom style is used.
        Find<QLineEdit>("txtEndComment")->setText(QStringLiteral("ж"));
        const auto refused = window->ReadSettings();
        QVERIFY(std::holds_alternative<QString>(refused));
        QVERIFY(std::get<QString>(refused).contains(QStringLiteral("\"Fine\"")));
        QVERIFY(std::get<QString>(refused).contains(QStringLiteral("U+0436")));
        Find<QRadioButton>("optThingy")->setChecked(true);
        QVERIFY(std::holds_alternative<RunSettings>(window->ReadSettings()));
    }

    void resetReturnsEverySettingToItsStart()
    {
        const QString table = TempPath("t.tbl");
        AddInputFile(TempPath("a.txt"));
        for (const char* command : {"cmdOpenExcludeTable", "cmdOpenOutput", "cmdOpenWriteTable"}) {
            dialogs->answers.push_back(DialogAnswer::Chose(table));
            Button(command)->click();
        }
        Find<QLineEdit>("txtSampleLength")->setText(QStringLiteral("3"));
        Find<QLineEdit>("txtTopResults")->setText(QStringLiteral("7"));
        Find<QLineEdit>("txtWriteTableRanges")->setText(QStringLiteral("1-9"));
        Find<QCheckBox>("chkBeepOnFinish")->setChecked(true);
        Find<QCheckBox>("chkUseComments")->setChecked(true);
        Find<QRadioButton>("optCPP")->setChecked(true);
        Find<QLineEdit>("txtBeginComment")->setText(QStringLiteral(";"));
        Find<QLineEdit>("txtEndComment")->setText(QStringLiteral("!"));
        Find<QCheckBox>("chkReadInsideComments")->setChecked(true);
        for (const char* box : {"chkIgnoreSpace", "chkIgnoreReturn", "chkIgnoreTab"}) {
            Find<QCheckBox>(box)->setChecked(true);
        }
        Button("cmdNext")->click();
        Button("cmdNext")->click();

        Button("cmdReset")->click();

        RunSettings expected;
        expected.threads = Settings().threads;
        const RunSettings settings = Settings();
        QVERIFY(settings.inputFiles.empty());
        QCOMPARE(settings.sampleLengths, expected.sampleLengths);
        QCOMPARE(settings.topResults, expected.topResults);
        QVERIFY(!settings.useComments && settings.commentStyle == CommentStyle::C);
        QVERIFY(settings.beginComment.empty() && settings.endComment.empty());
        QVERIFY(!settings.readInsideComments && !settings.ignoreSpace && !settings.ignoreReturn &&
                !settings.ignoreTab);
        QVERIFY(!settings.exclusionTable && !settings.reportFile && !settings.outputTable);
        QVERIFY(settings.writeTableRanges.empty() && !settings.beepOnFinish);
        for (const char* label : {"lblOpen", "lblOpenExcludeTable", "lblOpenOutput", "lblOpenWriteTable"}) {
            QCOMPARE(Find<QLabel>(label)->text(), noFile);
        }
        QVERIFY(!Find<QCheckBox>("chkBeepOnFinish")->isChecked());
        QVERIFY(!Button("cmdAnalyze")->isEnabled());
        QCOMPARE(Tabs()->currentIndex(), 0);
        QVERIFY(!Button("cmdBack")->isEnabled());
        QVERIFY(Button("cmdNext")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), Button("cmdOpen"));
        const char* const commentControls[] = {"fraComments",   "chkReadInsideComments",
                                               "optC",          "optCPP",
                                               "optThingy",     "optCustom",
                                               "lblCEnd",       "lblCPPEnd",
                                               "lblThingyEnd",  "txtBeginComment",
                                               "txtEndComment", "lblBegin",
                                               "lblEnd"};
        for (const char* control : commentControls) {
            QVERIFY2(!Find<QWidget>(control)->isEnabled(), control);
        }
        QVERIFY(Find<QLabel>("lblInfoComments")->isEnabled());

        // The next file replaces the placeholder instead of joining it.
        AddInputFile(table);
        QCOMPARE(Find<QLabel>("lblOpen")->text(), table);
    }

    void theCommentSwitchKeepsTheChosenStyle()
    {
        auto* useComments = Find<QCheckBox>("chkUseComments");
        useComments->setChecked(true);
        QVERIFY(Find<QWidget>("optCustom")->isEnabled());
        Find<QRadioButton>("optCustom")->setChecked(true);
        Find<QLineEdit>("txtBeginComment")->setText(QStringLiteral("#"));
        useComments->setChecked(false);
        QVERIFY(!Find<QWidget>("txtBeginComment")->isEnabled());
        QVERIFY(!Settings().useComments);
        useComments->setChecked(true);
        QVERIFY(Find<QWidget>("txtBeginComment")->isEnabled());
        const RunSettings settings = Settings();
        QVERIFY(settings.useComments && settings.commentStyle == CommentStyle::Custom);
        QCOMPARE(settings.beginComment, std::string("#"));
    }

    void doubleClicksOnTheNameToggleTheMotto()
    {
        auto* lblKestrin = Find<QLabel>("lblKestrin");
        auto* motto = Find<QLabel>("Label1");
        QTest::mouseDClick(lblKestrin, Qt::LeftButton);
        QVERIFY(motto->isVisible());
        QTest::mouseDClick(lblKestrin, Qt::LeftButton);
        QVERIFY(motto->isHidden());
    }

    void aRunFromTheWindowShowsTheEnginesReport()
    {
        const QString input = TempPath("script.txt");
        WriteFile(input,
                  "il mago disse: \"apri la porta\"\r\nla porta non si apre\r\n\xE8 chiusa\tda sempre\r\n");
        AddInputFile(input);
        const QString reportFile = TempPath("report.txt");
        dialogs->answers.push_back(DialogAnswer::Chose(reportFile));
        Button("cmdOpenOutput")->click();
        Find<QLineEdit>("txtSampleLength")->setText(QStringLiteral("1-3"));
        Find<QLineEdit>("txtTopResults")->setText(QStringLiteral("12"));
        Find<QCheckBox>("chkIgnoreSpace")->setChecked(true);

        Button("cmdAnalyze")->click();

        VerifyIdleAfterRun();
        RunSettings same;
        same.inputFiles = {ToPath(input)};
        same.sampleLengths = "1-3";
        same.topResults = "12";
        same.ignoreSpace = true;
        QuietObserver engine;
        const RunOutcome outcome = RunAnalysis(same, engine);
        QVERIFY(outcome.status == RunStatus::Completed);
        QCOMPARE(Comparable(Find<QPlainTextEdit>("txtResults")->toPlainText()),
                 Comparable(FromLatin1(TruncateForDisplay(outcome.report))));
        QVERIFY(QFileInfo::exists(reportFile));
        QCOMPARE(Find<QLabel>("lblCalc")->text(), QStringLiteral("Generazione report..."));

        // Once a report exists, its page can be reached again, and Back leads to the first page.
        ClickHeader(1);
        ClickHeader(4);
        QCOMPARE(Tabs()->currentIndex(), 4);
        Button("cmdBack")->click();
        QCOMPARE(Tabs()->currentIndex(), 0);
    }

    void cancelDuringCounting_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("by a click") << false;
        QTest::newRow("by the Escape key") << true;
    }

    void cancelDuringCounting()
    {
        QFETCH(bool, escape);
        const QString input = TempPath("big.bin");
        WriteFile(input, RandomBytes(8'000'000));
        AddInputFile(input);
        Find<QLineEdit>("txtSampleLength")->setText(QStringLiteral("1-3"));
        const QString before = Find<QPlainTextEdit>("txtResults")->toPlainText();
        QTest::keyClick(window.get(), Qt::Key_Escape); // nothing to cancel yet
        QVERIFY(!window->IsRunning());

        // Cancel once the counting has visibly moved past the first position.
        bool sawRun = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!window->IsRunning() || Find<QLabel>("lblAddr")->text().toLongLong() <= 1 || sawRun) {
                return;
            }
            sawRun = true;
            QCOMPARE(Button("cmdAnalyze")->text(), QStringLiteral("Annulla"));
            QCOMPARE(Tabs()->currentIndex(), 3);
            QVERIFY(!Tabs()->tabBar()->isEnabled());
            QVERIFY(!Button("cmdOpen")->isEnabled());
            QVERIFY(!Button("cmdReset")->isEnabled());
            QVERIFY(!Button("cmdBack")->isEnabled() && !Button("cmdNext")->isEnabled());
            QVERIFY(Find<QLabel>("lblCalc")->isVisible());
            QVERIFY(Find<QLabel>("lblCalc")->isEnabled()); // the progress page is not greyed out
            QCOMPARE(Find<QLabel>("lblCalc")->text(),
                     QStringLiteral("Calcolo in corso... Indirizzo corrente: 1/1:"));
            QVERIFY(Find<QWidget>("linCompletion")->isVisible());
            // No key or call turns the page while the run works.
            QTest::keyClick(Tabs(), Qt::Key_Tab, Qt::ControlModifier);
            Tabs()->setCurrentIndex(0);
            QCOMPARE(Tabs()->currentIndex(), 3);
            QVERIFY(!Button("cmdNext")->isEnabled());
            if (escape) {
                QTest::keyClick(window.get(), Qt::Key_Escape);
            } else {
                Button("cmdAnalyze")->click();
                Button("cmdAnalyze")->click(); // a second click is the same one cancel
            }
        });
        poll.start(5);
        Button("cmdAnalyze")->click();

        QVERIFY(sawRun);
        VerifyIdleAfterRun();
        QCOMPARE(Find<QPlainTextEdit>("txtResults")->toPlainText(), before);

        // The next run starts afresh and is not cancelled by the earlier request.
        WriteFile(input, "abcabc");
        Button("cmdAnalyze")->click();
        VerifyIdleAfterRun();
        QVERIFY(Find<QPlainTextEdit>("txtResults")
                    ->toPlainText()
                    .contains(QStringLiteral("Number of different")));
    }

    void closingDuringARunCancelsItFirst()
    {
        const QString input = TempPath("big.bin");
        WriteFile(input, RandomBytes(8'000'000));
        AddInputFile(input);
        Find<QLineEdit>("txtSampleLength")->setText(QStringLiteral("1-3"));
        bool stillOpenDuringRun = false;
        QTimer::singleShot(0, window.get(), [&] {
            window->close();
            stillOpenDuringRun = window->isVisible();
        });
        Button("cmdAnalyze")->click();
        QVERIFY(stillOpenDuringRun);
        QVERIFY(!window->isVisible());
        QVERIFY(!window->IsRunning());
    }

    void answeringNoToTheLengthQuestionEndsTheRun()
    {
        AddInputFile(TempPath("never-read.txt"));
        auto* sampleLength = Find<QLineEdit>("txtSampleLength");
        sampleLength->setText(QStringLiteral("1-250"));
        SeenBox warning;
        SeenBox question;
        AnswerNextBox(QMessageBox::Ok, &warning);
        QTimer::singleShot(0, window.get(), [&] { AnswerNextBox(QMessageBox::No, &question); });
        Button("cmdAnalyze")->click();

        QVERIFY(warning.seen);
        QCOMPARE(warning.text,
                 QStringLiteral("Warning: This calculation will be very lengthy since there are over "
                                "ten sample lengths to be analyzed."));
        QCOMPARE(warning.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(question.seen);
        QCOMPARE(
            question.text,
            QStringLiteral("You have a sample length that's way too long. Are you sure you want to use it?"));
        QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(question.defaultButton, QMessageBox::Yes);
        VerifyIdleAfterRun();
        QCOMPARE(Find<QPlainTextEdit>("txtResults")->toPlainText(),
                 QStringLiteral("I risultati vengono scritti qui\n"));
        QCOMPARE(sampleLength->selectedText(), QStringLiteral("1-250"));
    }

    void refusalsAndFailuresAreReportedAndTheWindowRecovers_data()
    {
        QTest::addColumn<QString>("sampleLength");
        QTest::addColumn<bool>("inputExists");
        QTest::addColumn<QString>("message"); // a part of the message box's text
        QTest::addColumn<bool>("sampleSelected");
        QTest::addColumn<bool>("reportOnInput"); // the report file chosen is the input file
        QTest::newRow("no sample length") << "abc" << true << "Lunghezza(e) campione" << true << false;
        QTest::newRow("missing input file") << "2" << false << "missing.txt" << false << false;
        QTest::newRow("report file on the input") << "2" << true << "is also an input file" << false << true;
    }

    void refusalsAndFailuresAreReportedAndTheWindowRecovers()
    {
        QFETCH(QString, sampleLength);
        QFETCH(bool, inputExists);
        QFETCH(QString, message);
        const QString input = TempPath(inputExists ? "present.txt" : "missing.txt");
        if (inputExists) {
            WriteFile(input, "abc");
        }
        AddInputFile(input);
        QFETCH(bool, reportOnInput);
        if (reportOnInput) {
            dialogs->answers.push_back(DialogAnswer::Chose(input));
            Button("cmdOpenOutput")->click();
        }
        Find<QLineEdit>("txtSampleLength")->setText(sampleLength);
        SeenBox box;
        AnswerNextBox(QMessageBox::Ok, &box);
        Button("cmdAnalyze")->click();

        QVERIFY(box.seen);
        QVERIFY2(box.text.contains(message), qPrintable(box.text));
        VerifyIdleAfterRun();
        QFETCH(bool, sampleSelected);
        QCOMPARE(Find<QLineEdit>("txtSampleLength")->selectedText(),
                 sampleSelected ? sampleLength : QString());
        if (inputExists) {
            QCOMPARE(QFile(input).size(), 3); // never replaced by a report
        }
    }

    void aDelimiterWithoutAByteTakesTheUserToItsBox()
    {
        AddInputFile(TempPath("any.txt"));
        Find<QCheckBox>("chkUseComments")->setChecked(true);
        Find<QRadioButton>("optCustom")->setChecked(true);
        Find<QLineEdit>("txtBeginComment")->setText(QStringLiteral("#"));
        Find<QLineEdit>("txtEndComment")->setText(QStringLiteral("ж"));
        SeenBox box;
        AnswerNextBox(QMessageBox::Ok, &box);
        Button("cmdAnalyze")->click();
        QVERIFY(box.seen);
        QCOMPARE(Tabs()->currentIndex(), 2);
        QCOMPARE(window->focusWidget(), Find<QWidget>("txtEndComment"));
        QVERIFY(!window->IsRunning());
    }

    void aRunThatSwitchesCommentsOffUnticksTheirBox()
    {
        const QString input = TempPath("in.txt");
        WriteFile(input, "abc");
        AddInputFile(input);
        auto* useComments = Find<QCheckBox>("chkUseComments");
        useComments->setChecked(true);
        Find<QRadioButton>("optCustom")->setChecked(true); // with an empty begin box
        Button("cmdAnalyze")->click();
        VerifyIdleAfterRun();
        QVERIFY(!useComments->isChecked());
        QVERIFY(!Find<QWidget>("optCustom")->isEnabled());
        QVERIFY(!Settings().useComments);
    }

    void reportShowsPathsAsTheFileSystemNamesThem()
    {
        const QString input = folder->filePath(QStringLiteral("città.po"));
        WriteFile(input, "perché");
        AddInputFile(input);
        Button("cmdAnalyze")->click();
        VerifyIdleAfterRun();
        const QString shown = Find<QPlainTextEdit>("txtResults")->toPlainText();
        QVERIFY2(shown.startsWith(QStringLiteral("Filename:") + input + QStringLiteral("\n")),
                 qPrintable(shown));
        QVERIFY(shown.contains(
            QStringLiteral("string = \u00C3"))); // the text itself stays bytes shown as Latin-1
    }
};

QTEST_MAIN(FrmFrequencyTest)
#include "frm_frequency_test.moc"
