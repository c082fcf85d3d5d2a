// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_observer.h"

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
