#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// What the progress page shows. The engine fills it by the rules of the position it has reached:
// the address moves in steps of 50 positions and the completion in steps of 500.
struct Progress {
    std::string caption;         // lblCalc
    std::string address = "1";   // lblAddr: the position, or "p of N" while ranking
    std::int64_t matchCount = 0; // lblMatchCount: different strings counted so far
    double completion = 0.0;     // linCompletion: fraction of the current file, 0..1

    bool operator==(const Progress&) const = default;
};

// Everything a run tells or asks its host while it works. The window and the batch command each
// implement it; all calls come from the thread that called RunAnalysis.
class RunObserver
{
public:
    virtual ~RunObserver() = default;

    // Called when the progress display changes, at most about every yield interval while counting.
    virtual void ShowProgress(const Progress& now) = 0;

    // Lets the host handle its events; true asks the run to stop. Called at least every 50 ms.
    virtual bool YieldAndCheckCancel() = 0;

    // The warning for more than ten sample lengths; the run goes on afterwards.
    virtual void Warn(std::string_view message) = 0;

    // The question about a sample length over 200; Yes is the default. false ends the run.
    [[nodiscard]] virtual bool AskYesNo(std::string_view question) = 0;

    // The request text was not numeric and has been replaced by this text ("25").
    virtual void ResetTopResults(std::string_view text) = 0;

    // The comment filter switched itself off for the rest of the session (empty custom begin text).
    virtual void ClearUseComments() = 0;

    // The finished report, whole; the window cuts it for display with TruncateForDisplay.
    virtual void ShowReport(std::string_view report) = 0;

    // Once, after ShowReport, when the settings ask for a beep.
    virtual void Beep() = 0;
};

} // namespace kestrin
