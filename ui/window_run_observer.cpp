// SPDX-License-Identifier: MIT
// The window's side of a run: the engine's progress turned into the progress page's captions, its
// questions and warnings into message boxes, and the host's events handled while the run yields.

#include "window_run_observer.h"

#include "completion_line.h"
#include "latin1.h"
#include "window_messages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

namespace kestrin {

namespace {

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

} // namespace

WindowRunObserver::WindowRunObserver(const RunControls& runControls, const bool& cancel)
    : controls(runControls), cancelRequested(cancel)
{
}

void WindowRunObserver::ShowProgress(const Progress& now)
{
    controls.lblCalc->setText(PhaseCaption(now));
    controls.lblAddr->setText(
        now.lastResult ? QStringLiteral("%1 of %2").arg(*now.lastResult).arg(FromLatin1(now.request))
                       : QString::number(now.position));
    controls.lblMatchCount->setText(QString::number(now.matchCount));
    // The line is as wide as the tab control, whose whole width stands for the whole file.
    controls.linCompletion->SetX2(qRound(controls.linCompletion->width() * now.completion));
}

bool WindowRunObserver::YieldAndCheckCancel()
{
    QCoreApplication::processEvents();
    return cancelRequested;
}

void WindowRunObserver::WarnManyLengths(std::size_t /*count*/)
{
    ShowMessage(
        controls.window,
        QStringLiteral("Warning: This calculation will be very lengthy since there are over ten sample "
                       "lengths to be analyzed."));
}

bool WindowRunObserver::ConfirmLongLength(std::int64_t /*longest*/)
{
    return AskYesNo(
        controls.window,
        QStringLiteral("You have a sample length that's way too long. Are you sure you want to use it?"));
}

void WindowRunObserver::ResetTopResults(std::string_view text)
{
    controls.txtTopResults->setText(FromLatin1(text));
}

void WindowRunObserver::ClearUseComments()
{
    // The filter stays off for later runs, and the window shows it: unticking the box runs the window's
    // comment switch, which clears its field and disables the comment controls as a user's click would.
    controls.chkUseComments->setChecked(false);
}

} // namespace kestrin
