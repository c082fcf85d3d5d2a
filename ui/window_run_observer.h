// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_observer.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace kestrin {

class CompletionLine;

// The controls of the window that a run changes while it works.
struct RunControls {
    QWidget* window = nullptr; // the parent of the warning and the question
    QLabel* lblCalc = nullptr; // the phase
    QLabel* lblAddr = nullptr; // the position, or "N of request" once ranking has chosen its results
    QLabel* lblMatchCount = nullptr;
    CompletionLine* linCompletion = nullptr; // spans the tab control; X2 shows the fraction read
    QLineEdit* txtTopResults = nullptr;      // takes the request that replaced a text without a number
    QCheckBox* chkUseComments = nullptr;     // unticked when the comment filter switches itself off
};

// The window's side of a run: turns what the engine reports into the window's Italian captions and
// its message boxes, and lets the window handle its events at each yield. The run asks to stop once
// cancelRequested, which the window sets while its events are handled, is true.
class WindowRunObserver final : public RunObserver
{
public:
    WindowRunObserver(const RunControls& controls, const bool& cancelRequested);

    void ShowProgress(const Progress& now) override;
    bool YieldAndCheckCancel() override;
    void WarnManyLengths(std::size_t count) override;
    [[nodiscard]] bool ConfirmLongLength(std::int64_t longest) override;
    void ResetTopResults(std::string_view text) override;
    void ClearUseComments() override;

private:
    RunControls controls;
    const bool& cancelRequested;
};

} // namespace kestrin
