#include "frm_frequency.h"

#include "completion_line.h"
#include "file_dialogs.h"
#include "latin1.h"
#include "wrapping_check_box.h"

#include "kestrin/file_error.h"
#include "kestrin/report.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <exception>

// The icon lives in this static library, whose resources the linker would drop unless asked for by name.
static void InitResources()
{
    Q_INIT_RESOURCE(kestrin);
}

namespace kestrin {

namespace {

// The layout is measured in twips; 15 twips make one pixel at 96 dots per inch.
constexpr int Px(int twips)
{
    return (twips + 7) / 15;
}

constexpr int formattingPage = 2;
constexpr int analysisPage = 3;
constexpr int resultsPage = 4;

// The height that the tab headers may take before the pages' own controls begin.
constexpr int headerTwips = 360;

const char* const noFileCaption = "--Nessun file specificato--";
const char* const messageTitle = "Kestrin";
const char* const contactAddress = "kestrin@example.org";

// The caption of lblCalc for each phase of a run.
QString PhaseCaption(const Progress& now)
{
    switch (now.phase) {
    case RunPhase::Counting:
        return QStringLiteral("Calcolo in corso... Indirizzo corrente: %1/%2:").arg(now.file).arg(now.files);
    case RunPhase::Ranking:
        return QStringLiteral("Calcolo in corso... Risultato corrente:");
    case RunPhase::Formatting:
        return QStringLiteral("Formattazione Risultati...");
    case RunPhase::WritingTable:
        return QStringLiteral("Scrittura valori nella tabella...");
    case RunPhase::Reporting:
        break;
    }
    return QStringLiteral("Generazione report...");
}

// The refusals of the sample-length list, naming the box by its caption.
QString PhraseSampleLengthRefusal(const Refusal& refusal)
{
    switch (refusal.reason) {
    case Refusal::Reason::NegativeSampleLength:
        return QStringLiteral(
                   "Lunghezza(e) campione holds the negative sample length %1: sample lengths must "
                   "be 0 or more.")
            .arg(refusal.length);
    case Refusal::Reason::OnlyZeroLength:
        return QStringLiteral(
            "Lunghezza(e) campione holds only the sample length 0: at least one length must be 1 or more.");
    default:
        return QStringLiteral(
            "Lunghezza(e) campione holds no sample length: type one or more lengths, such as "
            "1, 1-3 or 1,3,5.");
    }
}

QString RoleName(FileRole role)
{
    switch (role) {
    case FileRole::InputFile:
        return QStringLiteral("an input file (Apri)");
    case FileRole::ExclusionTable:
        return QStringLiteral("the exclusion table (Apri Tabella di Esclusione)");
    case FileRole::ReportFile:
        return QStringLiteral("the report file (Apri file di Output)");
    case FileRole::OutputTable:
        return QStringLiteral("the output table (Apri Tabella Output)");
    }
    return {};
}

QString PhraseFileClash(const Refusal& refusal)
{
    const auto shown = [](const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); };
    QString text = QStringLiteral("The analysis did not start: %1 %2 is also %3")
                       .arg(RoleName(refusal.role), shown(refusal.path), RoleName(refusal.otherRole));
    if (refusal.otherPath != refusal.path) {
        text += QStringLiteral(" %1").arg(shown(refusal.otherPath));
    }
    return text + QStringLiteral(", which the report would replace. Choose another report file.");
}

// The window's face: a narrow sans serif, close in width to the small bitmap faces the layout was made
// for, so that the help texts fit their boxes. Sizes are in pixels, like the layout, so that text and
// boxes keep their proportions whatever the screen's dots per inch.
QFont SansFont(int pixelSize, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                      QStringLiteral("Arial Narrow"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Arial")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont DialogFont()
{
    return SansFont(10); // 8 pt, a pixel smaller so that the short captions keep within their boxes
}

QFont HelpFont()
{
    return SansFont(12); // 9.75 pt, kept in the same proportion to the dialog font
}

QFont SmallFont()
{
    return SansFont(9); // 6.75 pt
}

// A caption as a label without a buddy must show it: "&&" is one "&" and a single "&" only marks the
// next letter, which such a label cannot use as an access key.
QString VisibleCaption(const QString& caption)
{
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size()) {
            ++i;
        }
        shown.append(caption[i]);
    }
    return shown;
}

void SetTextColour(QWidget* widget, QColor colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QFont& font)
{
    auto* label = new QLabel(VisibleCaption(caption), parent);
    label->setObjectName(QLatin1StringView(name));
    label->setTextFormat(Qt::PlainText); // paths and help texts are never markup
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(font);
    return label;
}

QLabel* MakeHelpLabel(QWidget* parent, const char* name, const QString& caption)
{
    QLabel* label = MakeLabel(parent, name, caption, HelpFont());
    label->setWordWrap(true);
    return label;
}

// A label that keeps one line and sizes itself to its text, as the file-name labels do.
void SetAutoSizeCaption(QLabel* label, const QString& caption)
{
    label->setText(caption);
    label->adjustSize();
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setAutoDefault(false);
    return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1StringView(name));
    return box;
}

QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption)
{
    auto* option = new QRadioButton(caption, parent);
    option->setObjectName(QLatin1StringView(name));
    return option;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, const QString& text)
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1StringView(name));
    return box;
}

void Place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

// The tab control, with the one measurement the layout needs: where its pages start.
class TabControl : public QTabWidget
{
public:
    using QTabWidget::QTabWidget;

    [[nodiscard]] QPoint PageOrigin() const
    {
        QStyleOptionTabWidgetFrame option;
        initStyleOption(&option);
        return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
    }
};

} // namespace

FrmFrequency::FrmFrequency() : FrmFrequency(nullptr) {}

FrmFrequency::FrmFrequency(std::unique_ptr<FileDialogs> fileDialogs, QWidget* parent)
    : QWidget(parent), dialogs(std::move(fileDialogs))
{
    if (!dialogs) {
        dialogs = std::make_unique<QtFileDialogs>();
    }
    setObjectName(QStringLiteral("frmFrequency"));
    setWindowTitle(QStringLiteral("Kestrin 0.03"));
    InitResources();
    setWindowIcon(QIcon(QStringLiteral(":/kestrin/kestrin.png")));
    setFixedSize(Px(9390), Px(6525));
    setFont(DialogFont());

    CreateControls();
    SetFocusOrder();
    ConnectHandlers();
    Form_Load();
}

FrmFrequency::~FrmFrequency() = default;

void FrmFrequency::CreateControls()
{
    auto* tabs = new TabControl(this);
    SSTab1 = tabs;
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    Place(SSTab1, 0, 0, 9375, 6015);
    const char* const pageNames[] = {"pagInput", "pagOutput", "pagFormatting", "pagAnalysis", "pagResults"};
    const char* const headers[] = {"I&nput", "Out&put", "&Formattazione", "Ana&lisi", "&Risultati"};
    for (int i = 0; i < 5; ++i) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1StringView(pageNames[i]));
        SSTab1->addTab(page, QString::fromUtf8(headers[i]));
    }
    const QPoint origin = tabs->PageOrigin();
    pageOrigin = QPoint(origin.x(), std::min(origin.y(), Px(headerTwips)));

    CreateInputPage(SSTab1->widget(0));
    CreateOutputPage(SSTab1->widget(1));
    CreateFormattingPage(SSTab1->widget(2));
    CreateAnalysisPage(SSTab1->widget(analysisPage));
    CreateResultsPage(SSTab1->widget(resultsPage));

    Label2 = MakeLabel(this, "Label2", QStringLiteral("Kestrin 0.03, dal team di Kestrin"), SmallFont());
    Place(Label2, 120, 6120, 2295, 375);
    cmdReset = MakeButton(this, "cmdReset", QStringLiteral("Reset"));
    Place(cmdReset, 3720, 6120, 1215, 375);
    cmdBack = MakeButton(this, "cmdBack", QStringLiteral("<< &Indietro"));
    Place(cmdBack, 5160, 6120, 1215, 375);
    cmdBack->setEnabled(false);
    cmdNext = MakeButton(this, "cmdNext", QStringLiteral("&Avanti >>"));
    Place(cmdNext, 6600, 6120, 1215, 375);
    cmdAnalyze = MakeButton(this, "cmdAnalyze", QStringLiteral("Anali&zza"));
    Place(cmdAnalyze, 8040, 6120, 1335, 375);
    cmdAnalyze->setEnabled(false);

    FitOneLineCaptions();

    escapeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escapeKey->setObjectName(QStringLiteral("escapeKey"));
    escapeKey->setEnabled(false);
}

void FrmFrequency::FitOneLineCaptions()
{
    // Some boxes of the layout are a few pixels short for this face. A one-line caption that needs more
    // room grows to the right and, keeping its middle, up and down, rather than lose letters.
    for (QWidget* control : findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(control);
        const bool oneLine =
            (label != nullptr && !label->wordWrap()) || (qobject_cast<QRadioButton*>(control) != nullptr) ||
            (qobject_cast<QCheckBox*>(control) != nullptr && control != chkReadInsideComments);
        if (!oneLine) {
            continue;
        }
        const QSize needed = control->sizeHint();
        QRect box = control->geometry();
        if (needed.height() > box.height()) {
            box.adjust(0, -(needed.height() - box.height()) / 2, 0, 0);
            box.setHeight(needed.height());
        }
        box.setWidth(std::max(box.width(), needed.width()));
        control->setGeometry(box);
    }
    for (QLabel* marker : lblRequired) {
        marker->adjustSize();
    }
}

void FrmFrequency::PlaceOnPage(QWidget* control, int left, int top, int width, int height) const
{
    control->setGeometry(Px(left) - pageOrigin.x(), Px(top) - pageOrigin.y(), Px(width), Px(height));
}

void FrmFrequency::CreateInputPage(QWidget* page)
{
    lblInfoWelcome = MakeHelpLabel(
        page, "lblInfoWelcome",
        QStringLiteral(
            "Benvenuto in Kestrin! Kestrin è un programma utile per trovare le migliori "
            "corrispondenze per un tipo di codifica a dizionario. Per esempio, può trovare le "
            "corrispondenze più comuni di lunghezza due per un sistema di codifica Dual Tile "
            "Encoding. Comunque, può anche essere usato per cercare lunghezze fino a 32767 byte."));
    PlaceOnPage(lblInfoWelcome, 120, 480, 9135, 1095);

    lblKestrin = MakeLabel(
        page, "lblKestrin",
        QStringLiteral("Kestrin prende il nome dal gheppio (kestrel), che dall'alto non perde nulla."),
        HelpFont());
    PlaceOnPage(lblKestrin, 1320, 1200, 7935, 255);
    SetTextColour(lblKestrin, QColor(40, 0, 0));

    cmdOpen = MakeButton(page, "cmdOpen", QStringLiteral("A&pri"));
    PlaceOnPage(cmdOpen, 180, 2040, 1275, 375);

    lblInfoOpen = MakeHelpLabel(
        page, "lblInfoOpen",
        QStringLiteral("Apre un file da analizzare. Generalmente è un file di testo contenente uno script "
                       "tradotto. Clicca Apri di nuovo per specificare più di un file. Se vuoi annullare "
                       "tutte le impostazioni, premi il pulsante Reset."));
    PlaceOnPage(lblInfoOpen, 1680, 2040, 5055, 975);

    Label1 = MakeLabel(page, "Label1", QStringLiteral("Ogni byte conta."), SansFont(32));
    Label1->setWordWrap(true);
    PlaceOnPage(Label1, 6960, 2880, 2295, 2895);
    SetTextColour(Label1, QColor(128, 0, 0));
    Label1->hide();

    lblOpen = MakeLabel(page, "lblOpen", QString::fromUtf8(noFileCaption), HelpFont());
    PlaceOnPage(lblOpen, 240, 3120, 2250, 240);
    SetAutoSizeCaption(lblOpen, lblOpen->text());

    lblSampleSize = MakeLabel(page, "lblSampleSize", {}, DialogFont());
    lblSampleSize->setText(QStringLiteral("&Lunghezza(e) campione:"));
    PlaceOnPage(lblSampleSize, 120, 3720, 1740, 195);

    txtSampleLength = MakeTextBox(page, "txtSampleLength", QStringLiteral("1"));
    PlaceOnPage(txtSampleLength, 120, 3960, 1335, 285);
    lblSampleSize->setBuddy(txtSampleLength);

    lblInfoSampleLength = MakeHelpLabel(
        page, "lblInfoSampleLength",
        QStringLiteral("Questo numero rappresenta la(e) lunghezza(e) del campione da analizzare. Per usare "
                       "più di una lunghezza, usa numeri separati da virgole o intervalli di numeri separati "
                       "dal carattere tilde (~), o una combinazione di questi: 1 ~OR~ 1-3 ~OR~ 1,3,5 ~OR~ "
                       "1,3-5,7"));
    PlaceOnPage(lblInfoSampleLength, 1560, 3960, 5055, 1215);

    lblInfoRequired =
        MakeHelpLabel(page, "lblInfoRequired", QStringLiteral("= Obbligatorio per iniziare il processo."));
    PlaceOnPage(lblInfoRequired, 1560, 5520, 3360, 240);

    // The "*" markers of the required inputs, each sized to its text. Index 3 lives on the output page.
    const int markers[3][2] = {{1200, 5400}, {1440, 1920}, {1920, 3600}};
    for (int i = 0; i < 3; ++i) {
        const QByteArray name = "lblRequired_" + QByteArray::number(i);
        lblRequired[static_cast<std::size_t>(i)] =
            MakeLabel(page, name.constData(), QStringLiteral("*"), SansFont(32, true));
        SetTextColour(lblRequired[static_cast<std::size_t>(i)], QColor(128, 0, 0));
        PlaceOnPage(lblRequired[static_cast<std::size_t>(i)], markers[i][0], markers[i][1], 210, 555);
    }
}

void FrmFrequency::CreateOutputPage(QWidget* page)
{
    lblInfoTopResults = MakeHelpLabel(
        page, "lblInfoTopResults",
        QStringLiteral(
            "Anche se escono più di questo numero di risultati, Kestrin visualizzerà soltanto "
            "questi. Ci sono due cose da notare, comunque. 1)I risultati esclusi per gli spazi "
            "vuoti, e 2)Se ci sono meno risultati di quelli specificati, Kestrin mostrerà soltanto "
            "questi."));
    PlaceOnPage(lblInfoTopResults, 1800, 480, 7455, 975);

    lblRequired[3] = MakeLabel(page, "lblRequired_3", QStringLiteral("*"), SansFont(32, true));
    SetTextColour(lblRequired[3], QColor(128, 0, 0));
    PlaceOnPage(lblRequired[3], 1440, 600, 210, 555);

    lblTop = MakeLabel(page, "lblTop", {}, DialogFont());
    lblTop->setText(QStringLiteral("&Visualizza i primi"));
    PlaceOnPage(lblTop, 240, 720, 1125, 195);

    txtTopResults = MakeTextBox(page, "txtTopResults", QStringLiteral("25"));
    txtTopResults->setMaxLength(4);
    PlaceOnPage(txtTopResults, 240, 960, 855, 285);
    lblTop->setBuddy(txtTopResults);

    lblResults = MakeLabel(page, "lblResults", QStringLiteral("risultati"), DialogFont());
    PlaceOnPage(lblResults, 1140, 1005, 480, 195);

    lblInfoOpenOutput = MakeHelpLabel(
        page, "lblInfoOpenOutput",
        QStringLiteral(
            "Se un file di output è specificato, Kestrin scriverà il contenuto del tab Risultati in "
            "esso. Questo può essere utile perchè Kestrin tronca i risultati più grandi di 32000 "
            "caratteri di lunghezza. A lunghezze normali, il report contiene circa 600-750 "
            "risultati."));
    PlaceOnPage(lblInfoOpenOutput, 240, 1680, 3615, 2655);

    lblInfoOpenWriteTable = MakeHelpLabel(
        page, "lblInfoOpenWriteTable",
        QStringLiteral("Specifica il file Tabella di output. Se viene specificato, Kestrin vi aggiungerà i "
                       "suoi risultati nel formato delle tabelle di Thingy. E' utile per creare "
                       "automaticamente tabelle quando si è certi del risultato. Nota che la versione "
                       "originale di Thingy può gestire soltanto valori di due byte. Comunque ci sono editor "
                       "esadecimali molto più avanzati che possono leggere valori di qualunque lunghezza in "
                       "formato Thingy. Inserisci gli intervalli nello stesso formato--per usare cifre "
                       "esadecimali, metti il prefisso &&H."));
    PlaceOnPage(lblInfoOpenWriteTable, 4320, 1680, 4935, 2775);

    lblWriteTableRanges = MakeLabel(page, "lblWriteTableRanges", QStringLiteral("Intervalli:"), DialogFont());
    PlaceOnPage(lblWriteTableRanges, 6720, 4440, 630, 195);

    cmdOpenOutput = MakeButton(page, "cmdOpenOutput", QStringLiteral("Apr&i file di Output"));
    PlaceOnPage(cmdOpenOutput, 240, 4560, 2175, 375);
    cmdOpenWriteTable = MakeButton(page, "cmdOpenWriteTable", QStringLiteral("Apri Tabella Output"));
    PlaceOnPage(cmdOpenWriteTable, 4320, 4560, 2175, 375);

    txtWriteTableRanges = MakeTextBox(page, "txtWriteTableRanges", {});
    PlaceOnPage(txtWriteTableRanges, 6720, 4650, 2535, 285);

    lblOpenOutput = MakeLabel(page, "lblOpenOutput", QString::fromUtf8(noFileCaption), HelpFont());
    PlaceOnPage(lblOpenOutput, 240, 5160, 2250, 240);
    SetAutoSizeCaption(lblOpenOutput, lblOpenOutput->text());
    lblOpenWriteTable = MakeLabel(page, "lblOpenWriteTable", QString::fromUtf8(noFileCaption), HelpFont());
    PlaceOnPage(lblOpenWriteTable, 4320, 5160, 2250, 240);
    SetAutoSizeCaption(lblOpenWriteTable, lblOpenWriteTable->text());

    chkBeepOnFinish = MakeCheckBox(page, "chkBeepOnFinish", QStringLiteral("&Beep al termine"));
    chkBeepOnFinish->setFont(HelpFont());
    PlaceOnPage(chkBeepOnFinish, 240, 5640, 2295, 255);

    lblInfoBeepOnFinish = MakeHelpLabel(
        page, "lblInfoBeepOnFinish", QStringLiteral("Se selezionato, Kestrin emetterà un beep al termine."));
    PlaceOnPage(lblInfoBeepOnFinish, 2880, 5640, 6375, 255);
}

void FrmFrequency::CreateFormattingPage(QWidget* page)
{
    fraComments = new QGroupBox(page);
    fraComments->setObjectName(QStringLiteral("fraComments"));
    PlaceOnPage(fraComments, 120, 360, 9135, 3015);

    // The help text sits on the frame but is the page's child: a disabled frame greys everything it
    // holds, and this text must stay readable while the frame is off.
    lblInfoComments = MakeHelpLabel(
        page, "lblInfoComments",
        QStringLiteral(
            "I commenti possono essere usati per filtrare parti del file analizzato. Questo è utile "
            "quando uno script contiene Inglese, Italiano, e alcune parti tradotte in Italiano. "
            "Basta commentare le porzioni indesiderate e analizzare. In alternativa, se c'è altro "
            "materiale non voluto, seleziona \"Leggi soltanto all'interno dei commenti\" per "
            "analizzare soltanto le parti commentate. Ci sono 4 possibili tipi di commento: Il "
            "primo è lo stile del C, il secondo del C++, e il terzo è una versione modificata "
            "dello stile Thingy--ogni commento può contenere un numero illimitato di caratteri. "
            "L'ultimo tipo, il Personalizzato, supporta etichette di commento di qualsiasi "
            "lunghezza. Per creare commenti di una linea, lasciare il secondo campo vuoto. "
            "Esempio: Per creare commenti che iniziano per \";\" e finiscono alla fine della riga, "
            "inserisci \";\" nel primo campo e lascia vuoto il secondo."));
    PlaceOnPage(lblInfoComments, 120 + 1680, 360 + 120, 7335, 2775);

    // The check box lies on the frame's top edge and serves as its caption.
    chkUseComments = MakeCheckBox(page, "chkUseComments", QStringLiteral("&Usa Commenti"));
    chkUseComments->setAutoFillBackground(true);
    PlaceOnPage(chkUseComments, 240, 360, 1360, 195);

    lblBegin = MakeLabel(fraComments, "lblBegin", QStringLiteral("Inizio"), DialogFont());
    Place(lblBegin, 360, 240, 360, 195);
    lblEnd = MakeLabel(fraComments, "lblEnd", QStringLiteral("Fine"), DialogFont());
    Place(lblEnd, 960, 240, 300, 195);

    optC = MakeOption(fraComments, "optC", QStringLiteral("/*"));
    Place(optC, 120, 480, 975, 255);
    optC->setChecked(true);
    lblCEnd = MakeLabel(fraComments, "lblCEnd", QStringLiteral("*/"), DialogFont());
    Place(lblCEnd, 1080, 480, 135, 195);
    optCPP = MakeOption(fraComments, "optCPP", QStringLiteral("//"));
    Place(optCPP, 120, 720, 975, 255);
    lblCPPEnd = MakeLabel(fraComments, "lblCPPEnd", QStringLiteral("a capo"), DialogFont());
    Place(lblCPPEnd, 1080, 720, 495, 195);
    optThingy = MakeOption(fraComments, "optThingy", QStringLiteral("<$"));
    Place(optThingy, 120, 960, 975, 255);
    lblThingyEnd = MakeLabel(fraComments, "lblThingyEnd", QStringLiteral(">"), DialogFont());
    Place(lblThingyEnd, 1080, 960, 90, 195);
    optCustom = MakeOption(fraComments, "optCustom", QStringLiteral("Personalizzato:"));
    Place(optCustom, 120, 1200, 1455, 255);

    txtBeginComment = MakeTextBox(fraComments, "txtBeginComment", {});
    Place(txtBeginComment, 360, 1440, 495, 285);
    txtEndComment = MakeTextBox(fraComments, "txtEndComment", {});
    Place(txtEndComment, 960, 1440, 495, 285);

    chkReadInsideComments =
        new WrappingCheckBox(QStringLiteral("Leggi soltanto all'interno dei commenti"), fraComments);
    chkReadInsideComments->setObjectName(QStringLiteral("chkReadInsideComments"));
    Place(chkReadInsideComments, 120, 1920, 1425, 615);

    // The option labels end before their neighbours begin; keep them above the wider option boxes.
    for (QLabel* label : {lblCEnd, lblCPPEnd, lblThingyEnd}) {
        label->raise();
    }
    for (QWidget* control : CommentControls()) {
        control->setEnabled(false);
    }
    lblInfoComments->raise();
    chkUseComments->raise();

    lblInfoOpenExcludeTable = MakeHelpLabel(
        page, "lblInfoOpenExcludeTable",
        QStringLiteral(
            "Se è specificata una tabella di esclusione, Kestrin ignorerà i risultati contenuti in "
            "questa tabella (in formato Thingy). Può essere utile se alcuni valori sono già "
            "specificati e non possono essere modificati. Di nuovo, notare che anche se Thingy "
            "gestisce soltanto valori di due byte, Kestrin leggerà valori di qualunque lunghezza."));
    PlaceOnPage(lblInfoOpenExcludeTable, 2640, 3480, 6615, 1215);

    cmdOpenExcludeTable =
        MakeButton(page, "cmdOpenExcludeTable", QStringLiteral("Apri Tabella di &Esclusione"));
    PlaceOnPage(cmdOpenExcludeTable, 240, 3720, 1935, 375);

    lblOpenExcludeTable =
        MakeLabel(page, "lblOpenExcludeTable", QString::fromUtf8(noFileCaption), HelpFont());
    PlaceOnPage(lblOpenExcludeTable, 240, 4320, 2250, 240);
    SetAutoSizeCaption(lblOpenExcludeTable, lblOpenExcludeTable->text());

    chkIgnoreSpace = MakeCheckBox(page, "chkIgnoreSpace", QStringLiteral("Ignora &Spazi"));
    PlaceOnPage(chkIgnoreSpace, 240, 4800, 2775, 255);

    lblInfoIgnores = MakeHelpLabel(
        page, "lblInfoIgnores",
        QStringLiteral("Se selezionato, Kestrin ignorerà i risultati contenenti ASCII 20 (spazio), 0A0D "
                       "(return), o 09 (tab) dopo aver analizzato il file."));
    PlaceOnPage(lblInfoIgnores, 3240, 4800, 6015, 975);

    chkIgnoreReturn =
        MakeCheckBox(page, "chkIgnoreReturn", QStringLiteral("Ignora &Ritorno Carrello-Line Feed"));
    PlaceOnPage(chkIgnoreReturn, 240, 5160, 2775, 255);
    chkIgnoreTab = MakeCheckBox(page, "chkIgnoreTab", QStringLiteral("Ignora &Tabulazioni"));
    PlaceOnPage(chkIgnoreTab, 240, 5520, 2775, 255);
}

void FrmFrequency::CreateAnalysisPage(QWidget* page)
{
    lblCalc =
        MakeLabel(page, "lblCalc", QStringLiteral("Calcolo in corso... Indirizzo corrente:"), HelpFont());
    PlaceOnPage(lblCalc, 2760, 840, 3570, 315);
    lblCalc->hide();
    lblAddr = MakeLabel(page, "lblAddr", QStringLiteral("123456"), SansFont(16));
    // Wider than designed, so that "9999 of 9999" and nine-digit positions and counts fit.
    PlaceOnPage(lblAddr, 3480, 1200, 3000, 255);
    lblAddr->hide();
    lblMatches = MakeLabel(page, "lblMatches", QStringLiteral("Risultati ottenuti finora:"), HelpFont());
    PlaceOnPage(lblMatches, 2760, 1800, 3570, 315);
    lblMatchCount = MakeLabel(page, "lblMatchCount", QStringLiteral("654321"), SansFont(16));
    PlaceOnPage(lblMatchCount, 3480, 2160, 3000, 255);

    // A 3-pixel line from (0, 3360) to (9360, 3360); the widget spans the page so that X2 can reach its
    // full width, and X2 is counted from the tab control's left edge.
    linCompletion = new CompletionLine(QColor(0, 0, 192), 3, page);
    linCompletion->setObjectName(QStringLiteral("linCompletion"));
    const int lineTop = Px(3360) - 1;
    linCompletion->setGeometry(-pageOrigin.x(), lineTop - pageOrigin.y(), SSTab1->width(), 3);
    linCompletion->SetX2(Px(9360));
    linCompletion->hide();
}

void FrmFrequency::CreateResultsPage(QWidget* page)
{
    txtResults = new QPlainTextEdit(page);
    txtResults->setObjectName(QStringLiteral("txtResults"));
    txtResults->setReadOnly(true);
    txtResults->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtResults->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtResults->setPlainText(FromLatin1("I risultati vengono scritti qui\r\n"));
    PlaceOnPage(txtResults, 60, 360, 9285, 5565);
}

void FrmFrequency::SetFocusOrder()
{
    // The tab control takes the focus through its header row.
    const QList<QWidget*> order = {cmdAnalyze,
                                   SSTab1->tabBar(),
                                   cmdOpen,
                                   txtSampleLength,
                                   txtTopResults,
                                   cmdOpenOutput,
                                   cmdOpenWriteTable,
                                   txtWriteTableRanges,
                                   chkBeepOnFinish,
                                   chkUseComments,
                                   optC,
                                   optCPP,
                                   optThingy,
                                   optCustom,
                                   txtBeginComment,
                                   txtEndComment,
                                   chkReadInsideComments,
                                   cmdOpenExcludeTable,
                                   chkIgnoreSpace,
                                   chkIgnoreReturn,
                                   chkIgnoreTab,
                                   txtResults,
                                   cmdBack,
                                   cmdNext,
                                   cmdReset};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void FrmFrequency::ConnectHandlers()
{
    connect(cmdBack, &QPushButton::clicked, this, &FrmFrequency::cmdBack_Click);
    connect(cmdNext, &QPushButton::clicked, this, &FrmFrequency::cmdNext_Click);
    connect(SSTab1, &QTabWidget::currentChanged, this, &FrmFrequency::SSTab1_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &FrmFrequency::cmdOpen_Click);
    connect(cmdOpenExcludeTable, &QPushButton::clicked, this, &FrmFrequency::cmdOpenExcludeTable_Click);
    connect(cmdOpenOutput, &QPushButton::clicked, this, &FrmFrequency::cmdOpenOutput_Click);
    connect(cmdOpenWriteTable, &QPushButton::clicked, this, &FrmFrequency::cmdOpenWriteTable_Click);
    connect(cmdReset, &QPushButton::clicked, this, &FrmFrequency::cmdReset_Click);
    // A check box's click event follows every change of its state, by the user or by the program.
    connect(chkUseComments, &QCheckBox::toggled, this, &FrmFrequency::chkUseComments_Click);
    connect(chkBeepOnFinish, &QCheckBox::toggled, this, &FrmFrequency::chkBeepOnFinish_Click);
    connect(cmdAnalyze, &QPushButton::clicked, this, &FrmFrequency::cmdAnalyze_Click);
    connect(escapeKey, &QShortcut::activated, cmdAnalyze, &QPushButton::click);

    // Focus and double-click events have no signals; the window watches for them.
    for (QObject* watched :
         std::initializer_list<QObject*>{txtSampleLength, txtTopResults, txtWriteTableRanges, lblKestrin}) {
        watched->installEventFilter(this);
    }
}

bool FrmFrequency::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == txtSampleLength) {
            txtSampleLength_GotFocus();
        } else if (watched == txtTopResults) {
            txtTopResults_GotFocus();
        } else if (watched == txtWriteTableRanges) {
            txtWriteTableRanges_GotFocus();
        }
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == lblKestrin) {
        lblKestrin_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmFrequency::closeEvent(QCloseEvent* event)
{
    if (IsRunning()) {
        // The run still reads its files: ask it to stop, and close once it has returned.
        cancelRequested = true;
        closeAfterRun = true;
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

// ---- Load, unload, reset and the option switches ----

void FrmFrequency::Form_Load()
{
    // Only the tab headers are locked: QTabWidget::setTabEnabled would also grey out the pages, and the
    // program still shows these two itself.
    SSTab1->tabBar()->setTabEnabled(analysisPage, false);
    SSTab1->tabBar()->setTabEnabled(resultsPage, false);
    SSTab1->setCurrentIndex(0);
    SSTab1_Click(0); // setCurrentIndex does not signal a page that is already current
    inputFiles.clear();
}

void FrmFrequency::Form_Unload()
{
    // Every file the engine opens is closed by the operation that opened it, so no file is left open.
}

void FrmFrequency::cmdReset_Click()
{
    inputFiles.clear();
    exclusionTablePath.clear();
    reportFilePath.clear();
    outputTablePath.clear();
    useComments = false;
    useExclusionTable = false;
    writeOutputTable = false;
    writeReportFile = false;
    beepOnFinish = false;
    cmdAnalyze->setEnabled(false);
    SetAutoSizeCaption(lblOpen, QString::fromUtf8(noFileCaption));
    txtSampleLength->setText(QStringLiteral("1"));
    txtTopResults->setText(QStringLiteral("25"));
    SetAutoSizeCaption(lblOpenOutput, QString::fromUtf8(noFileCaption));
    chkBeepOnFinish->setChecked(false);
    SetAutoSizeCaption(lblOpenWriteTable, QString::fromUtf8(noFileCaption));
    txtWriteTableRanges->clear();
    chkUseComments->setChecked(false);
    fraComments->setEnabled(false);
    chkReadInsideComments->setEnabled(false);
    chkReadInsideComments->setChecked(false);
    optC->setChecked(true);
    for (QWidget* control :
         QList<QWidget*>{optC, optCPP, optThingy, optCustom, lblCEnd, lblCPPEnd, lblThingyEnd}) {
        control->setEnabled(false);
    }
    for (QLineEdit* box : {txtBeginComment, txtEndComment}) {
        box->setEnabled(false);
        box->clear();
    }
    lblBegin->setEnabled(false);
    lblEnd->setEnabled(false);
    SetAutoSizeCaption(lblOpenExcludeTable, QString::fromUtf8(noFileCaption));
    chkIgnoreSpace->setChecked(false);
    chkIgnoreReturn->setChecked(false);
    chkIgnoreTab->setChecked(false);
    SSTab1->setCurrentIndex(0);
    cmdOpen->setFocus();
}

QList<QWidget*> FrmFrequency::CommentControls() const
{
    return {fraComments,   chkReadInsideComments,
            optC,          optCPP,
            optThingy,     optCustom,
            lblCEnd,       lblCPPEnd,
            lblThingyEnd,  txtBeginComment,
            txtEndComment, lblBegin,
            lblEnd};
}

void FrmFrequency::chkUseComments_Click()
{
    useComments = chkUseComments->isChecked();
    for (QWidget* control : CommentControls()) {
        control->setEnabled(useComments);
    }
}

void FrmFrequency::chkBeepOnFinish_Click()
{
    beepOnFinish = chkBeepOnFinish->isChecked();
}

void FrmFrequency::lblKestrin_DblClick()
{
    Label1->setHidden(!Label1->isHidden());
}

// ---- Navigation ----

void FrmFrequency::cmdBack_Click()
{
    const int page = SSTab1->currentIndex();
    SSTab1->setCurrentIndex(page == resultsPage ? 0 : page - 1);
}

void FrmFrequency::cmdNext_Click()
{
    SSTab1->setCurrentIndex(SSTab1->currentIndex() + 1);
}

void FrmFrequency::SSTab1_Click(int /*currentPage*/)
{
    // During a run the progress page stays up, whatever key reached the tab control.
    if (IsRunning() && SSTab1->currentIndex() != analysisPage) {
        SSTab1->setCurrentIndex(analysisPage);
        return;
    }
    // Which of Back and Next make sense on each page; the progress page offers neither.
    static constexpr bool backEnabled[] = {false, true, true, false, true};
    static constexpr bool nextEnabled[] = {true, true, false, false, false};
    const int page = SSTab1->currentIndex();
    if (page < 0 || page > resultsPage) {
        return;
    }
    cmdBack->setEnabled(backEnabled[page]);
    cmdNext->setEnabled(nextEnabled[page]);
}

void FrmFrequency::txtSampleLength_GotFocus()
{
    txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
}

void FrmFrequency::txtTopResults_GotFocus()
{
    txtTopResults->setSelection(0, static_cast<int>(txtTopResults->text().size()));
}

void FrmFrequency::txtWriteTableRanges_GotFocus()
{
    txtWriteTableRanges->setSelection(0, static_cast<int>(txtWriteTableRanges->text().size()));
}

// ---- File choosers ----

bool FrmFrequency::ChooseFile(const char* filter, int selectedEntry, bool save, bool confirmOverwrite,
                              QString& path)
{
    const FileDialogRequest request = MakeFileDialogRequest(QString::fromUtf8(filter), selectedEntry);
    const DialogAnswer answer = save ? dialogs->GetSaveFileName(this, request, confirmOverwrite)
                                     : dialogs->GetOpenFileName(this, request);
    switch (answer.kind) {
    case DialogAnswer::Kind::Chosen:
        path = answer.path;
        return true;
    case DialogAnswer::Kind::Cancelled:
        return false;
    case DialogAnswer::Kind::Failed:
        ShowFatalError(answer.errorNumber, answer.errorDescription);
        return false;
    }
    return false;
}

void FrmFrequency::ShowFatalError(int number, const QString& description)
{
    const QString text =
        QStringLiteral("Error: %1\r\n%2\r\n\r\nHit OK to close Kestrin. If you believe you received "
                       "this error in error please contact the creator at %3")
            .arg(number)
            .arg(description, QString::fromUtf8(contactAddress));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Huge Error!"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    close();
}

void FrmFrequency::cmdOpen_Click()
{
    QString path;
    if (!ChooseFile("All Files|*.*|Text Files(*.txt)|*.txt", 1, false, false, path)) {
        return;
    }
    // Each engine operation closes the files it opens, so there are no files left to close here.
    inputFiles.push_back(path);
    cmdAnalyze->setEnabled(true);
    SetAutoSizeCaption(lblOpen, inputFiles.size() == 1 ? path : lblOpen->text() + u';' + path);
}

void FrmFrequency::cmdOpenExcludeTable_Click()
{
    QString path;
    if (ChooseFile("All Files|*.*|Table Files(*.tbl)|*.tbl", 2, false, false, path)) {
        exclusionTablePath = path;
        useExclusionTable = true;
        SetAutoSizeCaption(lblOpenExcludeTable, path);
    }
}

void FrmFrequency::cmdOpenOutput_Click()
{
    // The report file is replaced by every run, so choosing an existing one asks first.
    QString path;
    if (ChooseFile("All Files|*.*|Text Files(*.txt)|*.txt|", 2, true, true, path)) {
        reportFilePath = path;
        writeReportFile = true;
        SetAutoSizeCaption(lblOpenOutput, path);
    }
}

void FrmFrequency::cmdOpenWriteTable_Click()
{
    // Runs append to the output table, so an existing table is the usual choice and needs no warning.
    QString path;
    if (ChooseFile("All Files|*.*|Table Files(*.tbl)|*.tbl", 2, true, false, path)) {
        outputTablePath = path;
        writeOutputTable = true;
        SetAutoSizeCaption(lblOpenWriteTable, path);
    }
}

// ---- Analyze and cancel ----

bool FrmFrequency::IsRunning() const
{
    return escapeKey->isEnabled();
}

void FrmFrequency::cmdAnalyze_Click()
{
    if (IsRunning()) {
        cancelRequested = true;
        return;
    }
    SSTab1->setCurrentIndex(analysisPage);
    EnableControls(false);
    // Reset would empty the lists the run is reading.
    cmdReset->setEnabled(false);
    // The focus leaves the pages, so that no key sent to the tab control can turn them.
    cmdAnalyze->setFocus();

    QWidget* const toCorrect = RunAndShowOutcome();

    cancelRequested = false; // a request that came too late for the run to see it
    cmdReset->setEnabled(true);
    EnableControls(true);
    if (toCorrect != nullptr && toCorrect != txtSampleLength) {
        // No run started: the user goes straight to the comment box that holds what cannot be used.
        SSTab1->setCurrentIndex(formattingPage);
        toCorrect->setFocus();
    } else {
        SSTab1->tabBar()->setTabEnabled(resultsPage, true);
        SSTab1->setCurrentIndex(resultsPage);
        txtResults->setFocus();
    }
    if (toCorrect == txtSampleLength) {
        // Losing the focus cleared the selection; the rejected lengths stay marked for the user's return.
        txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
    }
    if (closeAfterRun) {
        close();
    }
}

void FrmFrequency::EnableControls(bool idle)
{
    cmdAnalyze->setText(idle ? QStringLiteral("&Analzza") : QStringLiteral("Annulla"));
    escapeKey->setEnabled(!idle);
    SetTabControlEnabled(idle);
    lblCalc->setVisible(!idle);
    lblAddr->setVisible(!idle);
    linCompletion->setVisible(!idle);
    cmdOpen->setEnabled(idle);
}

void FrmFrequency::SetTabControlEnabled(bool enabled)
{
    // The headers and every page but the progress page: that page holds nothing to change, and a
    // disabled page would grey out the progress it shows.
    SSTab1->tabBar()->setEnabled(enabled);
    for (int i = 0; i < SSTab1->count(); ++i) {
        if (i != analysisPage) {
            SSTab1->widget(i)->setEnabled(enabled);
        }
    }
}

QLineEdit* FrmFrequency::UnencodableDelimiterBox() const
{
    if (!useComments || !optCustom->isChecked()) {
        return nullptr; // the boxes are not read
    }
    for (QLineEdit* box : {txtBeginComment, txtEndComment}) {
        if (FirstNonLatin1(box->text())) {
            return box;
        }
    }
    return nullptr;
}

QWidget* FrmFrequency::RunAndShowOutcome()
{
    const std::variant<RunSettings, QString> settings = ReadSettings();
    if (const QString* refusal = std::get_if<QString>(&settings)) {
        ShowMessage(*refusal);
        return UnencodableDelimiterBox();
    }
    try {
        const RunOutcome outcome = RunAnalysis(std::get<RunSettings>(settings), *this);
        ShowOutcome(outcome);
        const bool lengthsRejected =
            outcome.status == RunStatus::Declined ||
            (outcome.status == RunStatus::Refused &&
             !(outcome.refusal && outcome.refusal->reason == Refusal::Reason::SameFile));
        return lengthsRejected ? txtSampleLength : nullptr;
    } catch (const std::exception& error) {
        // Out of memory on a huge request, say: the window survives and the user can ask for less.
        ShowMessage(QStringLiteral("The analysis stopped: %1").arg(QString::fromLocal8Bit(error.what())));
        return nullptr;
    }
}

void FrmFrequency::ShowOutcome(const RunOutcome& outcome)
{
    switch (outcome.status) {
    case RunStatus::Completed:
        txtResults->setPlainText(ReportForDisplay(TruncateForDisplay(outcome.report), inputFiles));
        if (beepOnFinish) {
            QApplication::beep();
        }
        for (const FileError& error : outcome.errors) {
            ShowMessage(QStringLiteral("The report is ready, but this file could not be written:\n%1")
                            .arg(QString::fromLocal8Bit(Describe(error))));
        }
        break;
    case RunStatus::Declined:
        SelectSampleLength();
        break;
    case RunStatus::Refused:
        if (outcome.refusal && outcome.refusal->reason == Refusal::Reason::SameFile) {
            ShowMessage(PhraseFileClash(*outcome.refusal));
        } else {
            ShowMessage(PhraseSampleLengthRefusal(outcome.refusal.value_or(Refusal{})));
            SelectSampleLength();
        }
        break;
    case RunStatus::Cancelled:
        break;
    case RunStatus::Failed:
        ShowMessage(
            outcome.failure == Failure::OutOfMemory
                ? QStringLiteral("Not enough memory for this run: ask for fewer or shorter sample lengths, "
                                 "fewer results, or less input.")
                : QStringLiteral("The run stopped: %1").arg(QString::fromLocal8Bit(outcome.failureDetail)));
        break;
    case RunStatus::InputFailed:
        for (const FileError& error : outcome.errors) {
            ShowMessage(QStringLiteral("The analysis stopped because this file could not be read:\n%1")
                            .arg(QString::fromLocal8Bit(Describe(error))));
        }
        break;
    }
}

void FrmFrequency::SelectSampleLength()
{
    txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
    txtSampleLength->setFocus();
}

void FrmFrequency::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(messageTitle), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::variant<RunSettings, QString> FrmFrequency::ReadSettings() const
{
    RunSettings settings;
    for (const QString& path : inputFiles) {
        settings.inputFiles.push_back(ToPath(path));
    }
    settings.sampleLengths = ToLatin1Lossy(txtSampleLength->text());
    settings.topResults = ToLatin1Lossy(txtTopResults->text());

    settings.useComments = useComments;
    if (optCPP->isChecked()) {
        settings.commentStyle = CommentStyle::Cpp;
    } else if (optThingy->isChecked()) {
        settings.commentStyle = CommentStyle::Thingy;
    } else if (optCustom->isChecked()) {
        settings.commentStyle = CommentStyle::Custom;
    } else {
        settings.commentStyle = CommentStyle::C;
    }
    if (const QLineEdit* box = UnencodableDelimiterBox()) {
        const QString text = box->text();
        const char32_t wide = *FirstNonLatin1(text);
        const QString code = QString::number(static_cast<uint>(wide), 16).toUpper().rightJustified(4, u'0');
        return QStringLiteral("The custom comment box \"%1\" holds the character \"%2\" (U+%3), which has "
                              "no single byte. Comment delimiters can only use characters up to U+00FF.")
            .arg((box == txtBeginComment ? lblBegin : lblEnd)->text(), QString::fromUcs4(&wide, 1), code);
    }
    settings.beginComment = ToLatin1Lossy(txtBeginComment->text());
    settings.endComment = ToLatin1Lossy(txtEndComment->text());
    settings.readInsideComments = chkReadInsideComments->isChecked();

    settings.ignoreSpace = chkIgnoreSpace->isChecked();
    settings.ignoreReturn = chkIgnoreReturn->isChecked();
    settings.ignoreTab = chkIgnoreTab->isChecked();

    if (useExclusionTable) {
        settings.exclusionTable = ToPath(exclusionTablePath);
    }
    if (writeReportFile) {
        settings.reportFile = ToPath(reportFilePath);
    }
    if (writeOutputTable) {
        settings.outputTable = ToPath(outputTablePath);
    }
    settings.writeTableRanges = ToLatin1Lossy(txtWriteTableRanges->text());
    settings.beepOnFinish = beepOnFinish;
    return settings;
}

// ---- What the run tells the window ----

void FrmFrequency::ShowProgress(const Progress& now)
{
    lblCalc->setText(PhaseCaption(now));
    lblAddr->setText(now.lastResult
                         ? QStringLiteral("%1 of %2").arg(*now.lastResult).arg(FromLatin1(now.request))
                         : QString::number(now.position));
    lblMatchCount->setText(QString::number(now.matchCount));
    linCompletion->SetX2(qRound(SSTab1->width() * now.completion));
}

bool FrmFrequency::YieldAndCheckCancel()
{
    QCoreApplication::processEvents();
    return cancelRequested;
}

void FrmFrequency::WarnManyLengths(std::size_t /*count*/)
{
    ShowMessage(
        QStringLiteral("Warning: This calculation will be very lengthy since there are over ten sample "
                       "lengths to be analyzed."));
}

bool FrmFrequency::ConfirmLongLength(std::int64_t /*longest*/)
{
    QMessageBox box(
        QMessageBox::NoIcon, QString::fromUtf8(messageTitle),
        QStringLiteral("You have a sample length that's way too long. Are you sure you want to use it?"),
        QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void FrmFrequency::ResetTopResults(std::string_view text)
{
    txtTopResults->setText(FromLatin1(text));
}

void FrmFrequency::ClearUseComments()
{
    // The filter stays off for later runs, and the window shows it: unticking the box runs its handler,
    // which clears the field and disables the comment controls as a user's click would.
    chkUseComments->setChecked(false);
    useComments = false;
}

} // namespace kestrin
