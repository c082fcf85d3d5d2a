// SPDX-License-Identifier: MIT
// kestrin-cli: one analysis run from the command line, the report (or records for scripts) on standard
// output and everything meant for the user on standard error.

#include "cli_messages.h"
#include "cli_options.h"
#include "kestrin_version.h"
#include "result_formats.h"

#include "kestrin/report.h"
#include "kestrin/run_analysis.h"
#include "kestrin/table_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
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

// Why the run could not finish.
std::string PhraseFailure(const RunOutcome& outcome, const RunSettings& settings)
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
        // Counting in characters meets the limit first; the savings choice has the same one.
        return settings.encoding == TextEncoding::Utf8 || settings.gameTable
                   ? "the run stopped: the counted text is 2147483647 game bytes or more, too long to count "
                     "in "
                     "characters (--encoding utf-8, --game-table)"
                   : "the run stopped: the counted text is 2147483647 bytes or more, too long for "
                     "--real-savings";
    case Failure::Other:
        break;
    }
    return "the run stopped: " + outcome.failureDetail;
}

// Writes the text and flushes it, so that a full disk or a closed pipe is noticed here; false after a
// message naming the reason.
bool WriteStandardOutput(std::string_view text)
{
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
        return true;
    }
    std::cerr << "kestrin-cli: cannot write to standard output: "
              << std::generic_category().message(errno != 0 ? errno : EIO) << '\n';
    return false;
}

// The game table's lines that the run read otherwise than they are written: one warning for the
// repeated codes and texts, one for the newline codes past the first, one for the kinds of line it does
// not model, one for a byte-order mark.
void WarnAboutGameTable(const RunSettings& settings, const RunOutcome& outcome)
{
    if (outcome.gameTableNotes.empty() || !settings.gameTable) {
        return;
    }
    const std::string table = "kestrin-cli: --game-table " + settings.gameTable->string() + ": ";
    std::string repeated;
    std::string unmodelled;
    std::string newline;
    for (const GameTableNote& note : outcome.gameTableNotes) {
        const std::string line = "line " + std::to_string(note.line);
        switch (note.kind) {
        case GameTableNote::Kind::RepeatedCode:
        case GameTableNote::Kind::RepeatedText:
            repeated += (repeated.empty() ? "" : ", ") + line + " repeats the " +
                        (note.kind == GameTableNote::Kind::RepeatedCode ? "code" : "text") + " of line " +
                        std::to_string(note.firstLine);
            break;
        case GameTableNote::Kind::NotModelled:
            unmodelled += (unmodelled.empty() ? "" : ", ") + line + " (" + ShownText(note.text) + ")";
            break;
        case GameTableNote::Kind::Utf8Mark:
            std::cerr << table << "starts with a UTF-8 byte-order mark: --encoding utf-8 is probably meant\n";
            break;
        case GameTableNote::Kind::OtherNewlineCode:
            newline += (newline.empty() ? "" : ", ") + line + " names another newline code than line " +
                       std::to_string(note.firstLine);
            break;
        }
    }
    if (!repeated.empty()) {
        std::cerr << table << repeated << "; the first line wins\n";
    }
    if (!newline.empty()) {
        std::cerr << table << newline << "; the first newline code wins, the others count as used\n";
    }
    if (!unmodelled.empty()) {
        std::cerr << table << unmodelled
                  << ": kinds of line not modelled (linked entries, marks, table switches, bookmarks); their "
                     "codes count as used\n";
    }
}

// What the table file should have said about this run.
void WarnAboutTable(const RunSettings& settings, const RunOutcome& outcome)
{
    const std::string table = settings.outputTable ? settings.outputTable->string() : "";
    if (const auto& splitting = outcome.splittingResults; splitting.size() == 1) {
        std::cerr << "kestrin-cli: -t/--table: result " << splitting.front()
                  << " holds a CR or an LF, which would split the table's line; it was not written and its "
                     "code stays unused\n";
    } else if (!splitting.empty()) {
        std::cerr << "kestrin-cli: -t/--table: " << splitting.size()
                  << " results hold a CR or an LF (the first is result " << splitting.front()
                  << "), which would split the table's lines; they were not written and their codes stay "
                     "unused\n";
    }
    if (outcome.repeatedCode) {
        std::cerr << "kestrin-cli: -t/--table: " << table << " already held the code "
                  << FormatTableCode(*outcome.repeatedCode)
                  << ", which this run appended again; give -r/--ranges codes the table does not use\n";
    }
    if (outcome.gameTableCode && settings.gameTable) {
        std::cerr << "kestrin-cli: -t/--table: the code " << FormatTableCode(*outcome.gameTableCode)
                  << " written there is a code of the game table (--game-table) "
                  << settings.gameTable->string()
                  << " too, or begins or is begun by one of its codes, which an inserter reading both could "
                     "not tell apart; give -r/--ranges codes the game does not use\n";
    }
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
int Finish(const CommandLine& line, const RunOutcome& outcome)
{
    WarnAboutGameTable(line.settings, outcome);
    switch (outcome.status) {
    case RunStatus::Declined:
        return declined;
    case RunStatus::Refused:
        std::cerr << "kestrin-cli: " << PhraseRefusal(outcome.refusal.value_or(Refusal{})) << '\n';
        return badCommandLine;
    case RunStatus::Cancelled:
        return declined;
    case RunStatus::Failed:
        std::cerr << "kestrin-cli: " << PhraseFailure(outcome, line.settings) << '\n';
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
    WarnAboutTable(line.settings, outcome);
    switch (line.format) {
    case OutputFormat::Report:
        break;
    case OutputFormat::Tsv:
        return WriteStandardOutput(FormatTsv(outcome, line.settings.encoding)) && outcome.errors.empty()
                   ? reportWritten
                   : fileFailed;
    case OutputFormat::Json:
        return WriteStandardOutput(FormatJson(outcome, line.settings.encoding)) && outcome.errors.empty()
                   ? reportWritten
                   : fileFailed;
    }
    if (!WriteStandardOutput(outcome.report)) {
        return fileFailed;
    }
    return outcome.errors.empty() ? reportWritten : fileFailed;
}

const char* const versionText = "kestrin-cli " KESTRIN_VERSION "\n" KESTRIN_COPYRIGHT_LINES;

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    using namespace kestrin;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.commandLine) {
        std::cerr << "kestrin-cli: " << parsed.error << "\nTry 'kestrin-cli --help'.\n";
        return badCommandLine;
    }
    const CommandLine& line = *parsed.commandLine;
    if (line.help || line.version) {
        return WriteStandardOutput(line.help ? Usage() : versionText) ? reportWritten : fileFailed;
    }
    for (const std::string& warning : parsed.warnings) {
        std::cerr << "kestrin-cli: " << warning << '\n';
    }
    // The run refuses files that would clash, then a report file that is not a report unless --force.
    RunSettings settings = line.settings;
    settings.replaceOnlyReports = !line.force;
    const bool showProgress = !line.quiet && ::isatty(STDERR_FILENO) != 0;
    ConsoleObserver observer(showProgress, line.answerYes);
    const RunOutcome outcome = RunAnalysis(settings, observer);
    observer.ClearProgress();
    return Finish(line, outcome);
}
