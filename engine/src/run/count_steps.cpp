// SPDX-License-Identifier: MIT
// The steps that the count in bytes and the count in the game's characters take alike for each input.

#include "run/count_steps.h"

#include <variant>

namespace kestrin {

StepEnd StartInput(RunContext& run, std::size_t index, std::size_t files,
                   std::optional<std::int64_t> matchCount, Progress* shown)
{
    Progress progress = run.display.Current();
    progress.phase = RunPhase::Counting;
    progress.file = static_cast<std::int64_t>(index + 1);
    progress.files = static_cast<std::int64_t>(files);
    progress.position = 1;
    if (matchCount) {
        progress.matchCount = *matchCount;
    }
    progress.completion = 0.0;
    run.display.Show(progress);
    if (shown != nullptr) {
        *shown = progress;
    }
    if (run.observer.YieldAndCheckCancel()) {
        return EarlyEnd::Cancelled();
    }
    return std::nullopt;
}

StepEnd ReadInput(RunContext& run, const std::filesystem::path& path, std::int64_t reach,
                  std::vector<std::unique_ptr<InputFile>>& files, std::atomic<std::int64_t>* bytesRead,
                  const std::function<void(const InputFile&)>& withFile, const std::function<void()>& onTick)
{
    std::variant<std::unique_ptr<InputFile>, FileError> opened;
    if (auto end = RunJobs(
            run, 1, 1,
            [&](std::size_t, unsigned) {
                opened = InputFile::Open(path, reach, {&run.cancel, bytesRead});
                if (const auto* file = std::get_if<std::unique_ptr<InputFile>>(&opened); file && withFile) {
                    withFile(**file);
                }
            },
            onTick)) {
        return end;
    }
    if (auto* error = std::get_if<FileError>(&opened)) {
        return EarlyEnd::InputFailed(std::move(*error));
    }
    files.push_back(std::move(std::get<std::unique_ptr<InputFile>>(opened)));
    return std::nullopt;
}

} // namespace kestrin
