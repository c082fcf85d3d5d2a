// SPDX-License-Identifier: MIT
// The window's layout: the window, its six pages and every control on them with its caption, font,
// place and size, the help texts, one-line captions widened to fit the font, and the Esc and Ctrl+Q
// keys. The controls of the game's characters and the dictionary bytes are made in
// frm_frequency_settings.cpp, those of the Dizionario page in frm_frequency_dictionary.cpp; the order of
// the Tab key is in frm_frequency.cpp.

#include "completion_line.h"
#include "frm_frequency.h"
#include "input_file_list.h"
#include "latin1.h"
#include "window_controls.h"
#include "wrapping_check_box.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

// The icon lives in this static library, whose resources the linker would drop unless asked for by name.
static void InitResources()
{
    Q_INIT_RESOURCE(kestrin);
}

namespace kestrin {

namespace {

// The height that the tab headers may take before the pages' own controls begin.
constexpr int headerTwips = 360;

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

void FrmFrequency::CreateControls()
{
    setObjectName(QStringLiteral("frmFrequency"));
    setWindowTitle(QStringLiteral("Kestrin 0.03"));
    InitResources();
    setWindowIcon(QIcon(QStringLiteral(":/kestrin/kestrin.png")));
    setFixedSize(Px(9390), Px(6525));
    setFont(DialogFont());

    auto* tabs = new TabControl(this);
    SSTab1 = tabs;
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    Place(SSTab1, 0, 0, 9375, 6015);
    const char* const pageNames[] = {"pagInput",      "pagOutput",   "pagFormatting",
                                     "pagDictionary", "pagAnalysis", "pagResults"};
    const char* const headers[] = {"I&nput",      "Out&put",  "&Formattazione",
                                   "&Dizionario", "Ana&lisi", "&Risultati"};
    for (int i = 0; i < 6; ++i) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1StringView(pageNames[i]));
        SSTab1->addTab(page, QString::fromUtf8(headers[i]));
    }
    const QPoint origin = tabs->PageOrigin();
    pageOrigin = QPoint(origin.x(), std::min(origin.y(), Px(headerTwips)));
    pageRight = Px(9255) - pageOrigin.x(); // where the widest help texts end

    CreateInputPage(SSTab1->widget(0));
    CreateOutputPage(SSTab1->widget(1));
    CreateFormattingPage(SSTab1->widget(2));
    CreateDictionaryPage(SSTab1->widget(dictionaryPage));
    CreateAnalysisPage(SSTab1->widget(analysisPage));
    CreateResultsPage(SSTab1->widget(resultsPage));
    chkRealSavings_Click(); // the controls that count only with Risparmio reale start disabled

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
    // In the free room between the version and Reset, shown on the results page after a run that drew
    // the savings curve.
    cmdCurve = MakeButton(this, "cmdCurve", QStringLiteral("&Curva..."));
    cmdCurve->setToolTip(QStringLiteral("Mostra la curva dei risparmi dell'ultima analisi, che si può "
                                        "salvare come SVG."));
    Place(cmdCurve, 2520, 6120, 1080, 375);
    cmdCurve->hide();

    FitOneLineCaptions();

    escapeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escapeKey->setObjectName(QStringLiteral("escapeKey"));
    escapeKey->setEnabled(false);
    quitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    quitKey->setObjectName(QStringLiteral("quitKey"));
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

void FrmFrequency::MakeRequiredMarker(QWidget* page, std::size_t index, int left, int top)
{
    const QByteArray name = "lblRequired_" + QByteArray::number(static_cast<qulonglong>(index));
    QLabel*& marker = lblRequired.at(index);
    marker = MakeLabel(page, name.constData(), QStringLiteral("*"), SansFont(32, true));
    SetTextColour(marker, QColor(128, 0, 0));
    PlaceOnPage(marker, left, top, 210, 555);
}

QLabel* FrmFrequency::MakePathCaption(QWidget* page, const char* name, int left, int top) const
{
    QLabel* caption = MakeLabel(page, name, QString::fromUtf8(noFileCaption), HelpFont());
    PlaceOnPage(caption, left, top, 2250, 240);
    caption->adjustSize();
    return caption;
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

    lblOpen = new InputFileList(QString::fromUtf8(noFileCaption), page);
    lblOpen->setObjectName(QStringLiteral("lblOpen"));
    lblOpen->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblOpen->setFont(HelpFont());
    PlaceOnPage(lblOpen, 240, 3120, 2250, 240);
    lblOpen->adjustSize();

    lblSampleSize = MakeLabel(page, "lblSampleSize", {}, DialogFont());
    lblSampleSize->setText(QStringLiteral("&Lunghezza(e) campione:"));
    PlaceOnPage(lblSampleSize, 120, 3720, 1740, 195);

    txtSampleLength = MakeTextBox(page, "txtSampleLength", FromLatin1(defaultSampleLengths));
    PlaceOnPage(txtSampleLength, 120, 3960, 1335, 285);
    lblSampleSize->setBuddy(txtSampleLength);

    lblInfoSampleLength = MakeHelpLabel(
        page, "lblInfoSampleLength",
        QStringLiteral("Questo numero rappresenta la(e) lunghezza(e) del campione da analizzare. Per usare "
                       "più di una lunghezza, usa numeri separati da virgole o intervalli di numeri separati "
                       "dal carattere trattino (-), o una combinazione di questi: 1 ~OR~ 1-3 ~OR~ 1,3,5 ~OR~ "
                       "1,3-5,7"));
    PlaceOnPage(lblInfoSampleLength, 1560, 3960, 5055, 1215);

    lblInfoRequired =
        MakeHelpLabel(page, "lblInfoRequired", QStringLiteral("= Obbligatorio per iniziare il processo."));
    PlaceOnPage(lblInfoRequired, 1560, 5520, 3360, 240);

    // The "*" markers of the required inputs, each sized to its text. Index 3 lives on the output page.
    const int markers[3][2] = {{1200, 5400}, {1440, 1920}, {1920, 3600}};
    for (std::size_t i = 0; i < 3; ++i) {
        MakeRequiredMarker(page, i, markers[i][0], markers[i][1]);
    }
}

void FrmFrequency::CreateOutputPage(QWidget* page)
{
    CreateTopResultsControls(page);
    CreateFileOutputHelp(page);
    CreateFileOutputChoosers(page);
    CreateBeepControls(page);
    CreateDictionaryBytesControls(page);
}

void FrmFrequency::CreateTopResultsControls(QWidget* page)
{
    lblInfoTopResults = MakeHelpLabel(
        page, "lblInfoTopResults",
        QStringLiteral(
            "Anche se escono più di questo numero di risultati, Kestrin visualizzerà soltanto "
            "questi. Ci sono due cose da notare, comunque. 1)I risultati esclusi per gli spazi "
            "vuoti, e 2)Se ci sono meno risultati di quelli specificati, Kestrin mostrerà soltanto "
            "questi."));
    PlaceOnPage(lblInfoTopResults, 1800, 480, 7455, 975);

    MakeRequiredMarker(page, 3, 1440, 600);

    lblTop = MakeLabel(page, "lblTop", {}, DialogFont());
    lblTop->setText(QStringLiteral("&Visualizza i primi"));
    PlaceOnPage(lblTop, 240, 720, 1125, 195);

    txtTopResults = MakeTextBox(page, "txtTopResults", FromLatin1(defaultTopResults));
    txtTopResults->setMaxLength(4);
    PlaceOnPage(txtTopResults, 240, 960, 855, 285);
    lblTop->setBuddy(txtTopResults);

    lblResults = MakeLabel(page, "lblResults", QStringLiteral("risultati"), DialogFont());
    PlaceOnPage(lblResults, 1140, 1005, 480, 195);
}

void FrmFrequency::CreateFileOutputHelp(QWidget* page)
{
    lblInfoOpenOutput = MakeHelpLabel(
        page, "lblInfoOpenOutput",
        QStringLiteral(
            "Se un file di output è specificato, Kestrin scriverà il contenuto del tab Risultati in "
            "esso. Questo può essere utile perchè Kestrin tronca i risultati più grandi di 32000 "
            "caratteri di lunghezza. A lunghezze normali, il report contiene circa 600-750 "
            "risultati."));
    PlaceOnPage(lblInfoOpenOutput, 240, 1680, 3615, 2655);

    // The real-savings switch stands in the free space at the bottom of the box of the report file's help
    // text, so that every control of the page keeps its place.
    chkRealSavings = MakeCheckBox(page, "chkRealSavings", QStringLiteral("Ri&sparmio reale"));
    chkRealSavings->setFont(HelpFont());
    PlaceOnPage(chkRealSavings, 240, 3240, 3615, 255);
    lblInfoRealSavings = MakeHelpLabel(
        page, "lblInfoRealSavings",
        QStringLiteral(
            "Se selezionato, Kestrin sceglie le voci una alla volta secondo quanto accorciano davvero "
            "il testo, e il report termina con la dimensione del testo codificato."));
    PlaceOnPage(lblInfoRealSavings, 240, 3540, 3615, 960);

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
}

void FrmFrequency::CreateFileOutputChoosers(QWidget* page)
{
    cmdOpenOutput = MakeButton(page, "cmdOpenOutput", QStringLiteral("Apr&i file di Output"));
    PlaceOnPage(cmdOpenOutput, 240, 4560, 2175, 375);
    cmdOpenWriteTable = MakeButton(page, "cmdOpenWriteTable", QStringLiteral("Apri Tabella Output"));
    PlaceOnPage(cmdOpenWriteTable, 4320, 4560, 2175, 375);

    txtWriteTableRanges = MakeTextBox(page, "txtWriteTableRanges", {});
    PlaceOnPage(txtWriteTableRanges, 6720, 4650, 2535, 285);

    lblOpenOutput = MakePathCaption(page, "lblOpenOutput", 240, 5160);
    lblOpenWriteTable = MakePathCaption(page, "lblOpenWriteTable", 4320, 5160);
}

void FrmFrequency::CreateBeepControls(QWidget* page)
{

    chkBeepOnFinish = MakeCheckBox(page, "chkBeepOnFinish", QStringLiteral("&Beep al termine"));
    chkBeepOnFinish->setFont(HelpFont());
    PlaceOnPage(chkBeepOnFinish, 240, 5640, 2295, 255);

    lblInfoBeepOnFinish = MakeHelpLabel(
        page, "lblInfoBeepOnFinish", QStringLiteral("Se selezionato, Kestrin emetterà un beep al termine."));
    PlaceOnPage(lblInfoBeepOnFinish, 2880, 5640, 6375, 255);
}

void FrmFrequency::CreateFormattingPage(QWidget* page)
{
    CreateCommentFrame(page);
    CreateCommentStyles();

    // The option labels end before their neighbours begin; keep them above the wider option boxes.
    for (QLabel* label : {lblCEnd, lblCPPEnd, lblThingyEnd}) {
        label->raise();
    }
    for (QWidget* control : CommentControls()) {
        control->setEnabled(false);
    }
    lblInfoComments->raise();
    chkUseComments->raise();

    CreateExclusionTableControls(page);
    CreateIgnoreControls(page);
    CreateCharacterControls(page);
}

void FrmFrequency::CreateCommentFrame(QWidget* page)
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
}

void FrmFrequency::CreateCommentStyles()
{
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
}

void FrmFrequency::CreateExclusionTableControls(QWidget* page)
{
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

    lblOpenExcludeTable = MakePathCaption(page, "lblOpenExcludeTable", 240, 4320);
}

void FrmFrequency::CreateIgnoreControls(QWidget* page)
{
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
    // 3000 twips wide, so that "9999 of 9999" and nine-digit positions and counts fit.
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

} // namespace kestrin
