// kestrin-cli: one analysis run from the command line, the report on standard output.

#include "cli_options.h"

#include "kestrin/run_analysis.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

namespace kestrin {
namespace {

enum ExitStatus {
    reportWritten = 0,
    declined = 1,
    badCommandLine = 2,
    fileFailed = 3,
};

// Shows progress and asks the question on the terminal.
class ConsoleObserver final : public RunObserver
{
public:
    ConsoleObserver(bool progressWanted, bool yesToQuestion)
        : showProgress(progressWanted), answerYes(yesToQuestion), started(std::chrono::steady_clock::now())
    {
    }

    void ShowProgress(const Progress& now) override
    {
        if (!showProgress) {
            return;
        }
        // Only long runs get a progress line; a short one would just flicker.
        if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(500)) {
            return;
        }
        std::string line = "\r" + PhaseOf(now);
        line += "  " + std::to_string(now.matchCount) + " strings";
        if (line.size() < shownWidth) {
            line.append(shownWidth - line.size(), ' ');
        }
        shownWidth = line.size();
        std::cerr << line << std::flush;
    }

    bool YieldAndCheckCancel() override { return false; }

    void WarnManyLengths(std::size_t count) override
    {
        ClearProgress();
        std::cerr << "kestrin-cli: -l/--lengths asks for " << count
                  << " sample lengths; counting more than ten takes long\n";
    }

    bool ConfirmLongLength(std::int64_t longest) override
    {
        ClearProgress();
        const std::string question =
            "-l/--lengths asks for the sample length " + std::to_string(longest) + ", over 200";
        if (answerYes) {
            return true;
        }
        if (::isatty(STDIN_FILENO) == 0) {
            std::cerr << "kestrin-cli: " << question << "; answering No (--yes answers Yes)\n";
            return false;
        }
        std::cerr << "kestrin-cli: " << question << ". Go on? [Y/n] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) {
            return false;
        }
        return answer.empty() || answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    }

    void ResetTopResults(std::string_view /*text*/) override {}
    void ClearUseComments() override {}

    void ClearProgress()
    {
        if (shownWidth > 0) {
            std::cerr << '\r' << std::string(shownWidth, ' ') << '\r' << std::flush;
            shownWidth = 0;
        }
    }

private:
    static std::string PhaseOf(const Progress& now)
    {
        switch (now.phase) {
        case RunPhase::Counting:
            return "Counting file " + std::to_string(now.file) + "/" + std::to_string(now.files) + " " +
                   std::to_string(static_cast<int>(now.completion * 100.0)) + "%";
        case RunPhase::Ranking:
            return "Ranking";
        case RunPhase::Formatting:
        case RunPhase::WritingTable:
        case RunPhase::Reporting:
            break;
        }
        return "Writing";
    }

    bool showProgress;
    bool answerYes;
    std::chrono::steady_clock::time_point started;
    std::size_t shownWidth = 0;
};

std::string RoleName(FileRole role)
{
    switch (role) {
    case FileRole::InputFile:
        return "the input file";
    case FileRole::ExclusionTable:
        return "the exclusion table (-x)";
    case FileRole::ReportFile:
        return "the report file (-o)";
    case FileRole::OutputTable:
        return "the output table (-t)";
    }
    return "a file";
}

// Why the run did not start, naming this command's own options.
std::string Phrase(const Refusal& refusal)
{
    switch (refusal.reason) {
    case Refusal::Reason::NoSampleLength:
        return "-l/--lengths holds no sample length: give one or more lengths, such as 1, 1-3 or 1,3,5";
    case Refusal::Reason::NegativeSampleLength:
        return "-l/--lengths holds the negative sample length " + std::to_string(refusal.length) +
               ": sample lengths must be 0 or more";
    case Refusal::Reason::OnlyZeroLength:
        return "-l/--lengths holds only the sample length 0: at least one length must be 1 or more";
    case Refusal::Reason::SameFile: {
        std::string text =
            RoleName(refusal.role) + " " + refusal.path.string() + " is " + RoleName(refusal.otherRole);
        if (refusal.otherPath != refusal.path) {
            text += " " + refusal.otherPath.string();
        }
        if (refusal.role == FileRole::OutputTable) {
            return text + " too, which the table would be appended to; nothing was read or written";
        }
        return text + " too, which the report would replace; nothing was read or written";
    }
    case Refusal::Reason::NoTableCode:
        return "-r/--ranges \"" + refusal.text +
               "\" gives no code for the output table (-t), and with --real-savings every entry needs one: "
               "give ranges such as &H80-&HFF; nothing was read or written";
    case Refusal::Reason::InputTooLong:
        return "the input files hold " + std::to_string(refusal.length) +
               " bytes; --real-savings takes fewer than " + std::to_string(refusal.limit) +
               "; nothing was read or written";
    }
    return "the run cannot start";
}

// Whether the report may replace what the file holds: a file that does not exist yet, an empty one, a
// device or a pipe, or an earlier report ("Filename:" opens every report). A script meant as an input
// and named after -o by a slip is kept.
bool MayHoldReport(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) == 0) {
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        return true; // the write names the reason
    }
    constexpr std::string_view reportStart = "Filename:";
    std::string start(reportStart.size(), '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    return start == reportStart;
}

// Why the run could not finish.
std::string PhraseFailure(const RunOutcome& outcome)
{
    switch (outcome.failure) {
    case Failure::OutOfMemory:
        return "not enough memory for this run: ask for fewer or shorter sample lengths (-l), fewer results "
               "(-n), or less input";
    case Failure::NoThread:
        return "the run stopped: the system gave no thread to count on";
    case Failure::FileGrew:
        return "the run stopped: " + outcome.failurePath.string() + " grew past 2 GiB while it was read";
    case Failure::TextTooLong:
        return "the run stopped: the counted text is 2 GiB or more, too long for --real-savings";
    case Failure::Other:
        break;
    }
    return "the run stopped: " + outcome.failureDetail;
}

bool WriteStandardOutput(std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

// An output file that the run could not write, in the command's words.
std::string PhraseWriteError(const FileError& error)
{
    if (error.busy) {
        return "cannot write " + error.path.string() +
               ": another run is writing this file; try again when it has finished";
    }
    std::string text = "cannot write " + Describe(error);
    if (!error.cutBackReason.empty()) {
        text += "; " + std::to_string(error.bytesLeft) +
                " bytes of the unfinished block are left at its end (cutting them off failed: " +
                error.cutBackReason + ")";
    }
    return text;
}

// The exit status of a run, with its messages on stderr.
int Finish(const RunOutcome& outcome)
{
    switch (outcome.status) {
    case RunStatus::Declined:
        return declined;
    case RunStatus::Refused:
        std::cerr << "kestrin-cli: " << Phrase(outcome.refusal.value_or(Refusal{})) << '\n';
        return badCommandLine;
    case RunStatus::Cancelled:
        return declined;
    case RunStatus::Failed:
        std::cerr << "kestrin-cli: " << PhraseFailure(outcome) << '\n';
        return fileFailed;
    case RunStatus::InputFailed:
        for (const auto& error : outcome.errors) {
            std::cerr << "kestrin-cli: cannot read " << Describe(error) << '\n';
        }
        return fileFailed;
    case RunStatus::Completed:
        break;
    }
    for (const auto& error : outcome.errors) {
        std::cerr << "kestrin-cli: " << PhraseWriteError(error) << '\n';
    }
    if (outcome.noTableCode) {
        std::cerr << "kestrin-cli: -r/--ranges gave no result a code: the block appended to the output table "
                     "(-t) holds no entry\n";
    }
    if (!WriteStandardOutput(outcome.report)) {
        std::cerr << "kestrin-cli: cannot write the report to standard output\n";
        return fileFailed;
    }
    return outcome.errors.empty() ? reportWritten : fileFailed;
}

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    using namespace kestrin;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.commandLine) {
        std::cerr << "kestrin-cli: " << parsed.error << "\n\n" << Usage();
        return badCommandLine;
    }
    if (parsed.commandLine->help) {
        std::cout << Usage();
        return reportWritten;
    }
    if (parsed.commandLine->version) {
        std::cout << "kestrin-cli " KESTRIN_VERSION "\n";
        return reportWritten;
    }
    const RunSettings& settings = parsed.commandLine->settings;
    if (const auto clash = FindFileClash(settings)) {
        std::cerr << "kestrin-cli: " << Phrase(*clash) << '\n';
        return badCommandLine;
    }
    if (settings.reportFile && !MayHoldReport(*settings.reportFile)) {
        std::cerr << "kestrin-cli: -o/--report: " << settings.reportFile->string()
                  << " exists and is not a report of this program; remove it first, or give another name "
                     "(files to read go after the options)\n";
        return badCommandLine;
    }
    const bool showProgress = !parsed.commandLine->quiet && ::isatty(STDERR_FILENO) != 0;
    ConsoleObserver observer(showProgress, parsed.commandLine->answerYes);
    const RunOutcome outcome = RunAnalysis(parsed.commandLine->settings, observer);
    observer.ClearProgress();
    return Finish(outcome);
}
