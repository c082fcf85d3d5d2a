// SPDX-License-Identifier: MIT
// How long a run takes to end after the host asks it to stop: one run per cancel time, from the first
// yield at or after each time to RunAnalysis's return, on one file in the mode the options give.
// usage: kestrin-cancel-bench FILE LENGTHS STEP_MS [--utf8] [--game-table TABLE] [--real-savings]

#include "kestrin/run_analysis.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Cancels at the first yield after `at`, and notes when, in which phase and at which position.
class CancellingObserver : public kestrin::RunObserver
{
public:
    explicit CancellingObserver(Clock::time_point cancelAt) : at(cancelAt) {}
    void ShowProgress(const kestrin::Progress& now) override { last = now; }
    bool YieldAndCheckCancel() override
    {
        if (Clock::now() >= at && !asked) {
            asked = Clock::now();
            phase = last.phase;
            position = last.position;
        }
        return asked.has_value();
    }
    void WarnManyLengths(std::size_t /*count*/) override {}
    bool ConfirmLongLength(std::int64_t /*longest*/) override { return true; }
    void ResetTopResults(std::string_view /*text*/) override {}
    void ClearUseComments() override {}

    Clock::time_point at;
    std::optional<Clock::time_point> asked;
    kestrin::Progress last;
    kestrin::RunPhase phase{};
    std::int64_t position = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s FILE LENGTHS STEP_MS [--utf8] [--game-table TABLE] [--real-savings]\n",
                     argv[0]);
        return 2;
    }
    kestrin::RunSettings settings;
    settings.inputFiles = {argv[1]};
    settings.sampleLengths = argv[2];
    settings.topResults = "300";
    settings.writeTableRanges = "&H8000-&H83FF";
    const int step = std::stoi(argv[3]);
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--utf8") == 0) {
            settings.encoding = kestrin::TextEncoding::Utf8;
        } else if (std::strcmp(argv[i], "--game-table") == 0 && i + 1 < argc) {
            settings.gameTable = argv[++i];
        } else if (std::strcmp(argv[i], "--real-savings") == 0) {
            settings.realSavings = true;
        }
    }
    double worst = 0;
    for (int ms = step;; ms += step) {
        const auto start = Clock::now();
        CancellingObserver observer(start + std::chrono::milliseconds(ms));
        const kestrin::RunOutcome outcome = kestrin::RunAnalysis(settings, observer);
        const auto end = Clock::now();
        if (!observer.asked) {
            std::printf("completed in %.0f ms; the slowest cancel took %.1f ms\n",
                        std::chrono::duration<double, std::milli>(end - start).count(), worst);
            return 0;
        }
        const double took = std::chrono::duration<double, std::milli>(end - *observer.asked).count();
        worst = std::max(worst, took);
        std::printf("cancel at %5d ms (phase %d, position %lld): ended after %6.1f ms, status %d\n", ms,
                    static_cast<int>(observer.phase), static_cast<long long>(observer.position), took,
                    static_cast<int>(outcome.status));
    }
}
