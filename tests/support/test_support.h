// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_analysis.h"
#include "kestrin/run_observer.h"
#include "kestrin/run_settings.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::testing {

// A folder of its own for one test, removed with everything in it at the end.
class TempDir
{
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    [[nodiscard]] const std::filesystem::path& Path() const { return path; }
    // Writes a file of these bytes in the folder and returns its path.
    std::filesystem::path Write(const std::string& name, std::string_view bytes) const;

private:
    std::filesystem::path path;
};

[[nodiscard]] std::string ReadFile(const std::filesystem::path& path);

// The report with the value of "Elapsed time: " replaced by "--:--:--", for comparing runs.
[[nodiscard]] std::string MaskElapsed(std::string report);

// The result lines of a report: everything after the empty line that ends the header.
[[nodiscard]] std::string ResultLines(const std::string& report);

// Every field of the settings on a line of its own, "\nname=value", named after kestrin-cli's option that
// sets it (FILE for the input files); the comments read as their style, after "off " when they are off.
// Tests compare whole settings through it, or settings that differ from others in one field.
[[nodiscard]] std::string Describe(const RunSettings& settings);
// A description with these fields, each "name=value", in place of its own.
[[nodiscard]] std::string WithFields(std::string described, const std::vector<std::string>& fields);

// What a host's words for a refusal must hold besides its own names: the file, the line (and the other
// line), the byte offset or the column, the text quoted, and in hex where it may not be valid text.
[[nodiscard]] std::vector<std::string> RefusalValues(const Refusal& refusal);

// `size` bytes of the alphabet, one random number each.
template <typename Random> std::string RandomText(Random& random, std::string_view alphabet, std::size_t size)
{
    std::string text(size, ' ');
    for (char& c : text) {
        c = alphabet[random() % alphabet.size()];
    }
    return text;
}

// Records what a run tells and answers its questions as scripted.
class RecordingObserver : public RunObserver
{
public:
    void ShowProgress(const Progress& now) override { progress.push_back(now); }
    bool YieldAndCheckCancel() override
    {
        ++yields;
        return cancelAfterYields >= 0 && yields > cancelAfterYields;
    }
    void WarnManyLengths(std::size_t count) override { events.push_back("warn:" + std::to_string(count)); }
    bool ConfirmLongLength(std::int64_t longest) override
    {
        events.push_back("ask:" + std::to_string(longest));
        return answerYes;
    }
    void ResetTopResults(std::string_view text) override
    {
        events.push_back("reset-top:" + std::string(text));
    }
    void ClearUseComments() override { events.push_back("clear-use-comments"); }

    bool answerYes = true;
    int cancelAfterYields = -1; // cancel at the yield after this many; -1 never
    int yields = 0;
    std::vector<Progress> progress;
    std::vector<std::string> events;
};

} // namespace kestrin::testing
