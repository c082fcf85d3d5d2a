// SPDX-License-Identifier: MIT
// A whole run on arbitrary bytes and settings, compared with the literal model of the test suite.
// The first bytes choose the settings, the rest are split into up to three input files.

#include "literal_model.h"
#include "test_support.h"

#include "kestrin/run_analysis.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// Reads a short text from the front of the input: a length byte, then that many bytes.
std::string TakeText(std::string_view& input, std::size_t most)
{
    if (input.empty()) {
        return {};
    }
    const std::size_t length =
        std::min<std::size_t>(static_cast<unsigned char>(input[0]) % (most + 1), input.size() - 1);
    std::string text(input.substr(1, length));
    input.remove_prefix(1 + length);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4 || size > 4096) {
        return -1;
    }
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto flags = static_cast<unsigned char>(input[0]);
    input.remove_prefix(1);

    static const kestrin::testing::TempDir dir;
    const std::filesystem::path& folder = dir.Path();

    kestrin::RunSettings settings;
    settings.sampleLengths = TakeText(input, 8);
    settings.topResults = TakeText(input, 6);
    settings.useComments = (flags & 1) != 0;
    settings.commentStyle = static_cast<kestrin::CommentStyle>((flags >> 1) & 3);
    settings.beginComment = TakeText(input, 3);
    settings.endComment = TakeText(input, 3);
    settings.readInsideComments = (flags & 8) != 0;
    settings.ignoreSpace = (flags & 16) != 0;
    settings.ignoreReturn = (flags & 32) != 0;
    settings.ignoreTab = (flags & 64) != 0;
    settings.threads = (flags & 128) != 0 ? 2 : 1;
    const std::string excluded = TakeText(input, 16);
    if (!excluded.empty()) {
        settings.exclusionTable = folder / "exclusion.tbl";
        std::ofstream(*settings.exclusionTable, std::ios::binary) << excluded;
    }
    const std::size_t files = 1 + input.size() % 3;
    for (std::size_t i = 0; i < files; ++i) {
        const std::size_t share = i + 1 == files ? input.size() : input.size() / files;
        const auto path = folder / ("input" + std::to_string(i));
        std::ofstream(path, std::ios::binary) << input.substr(0, share);
        input.remove_prefix(share);
        settings.inputFiles.push_back(path);
    }

    kestrin::testing::RecordingObserver observer;
    observer.answerYes = false; // keeps lengths at 200 or less
    const kestrin::RunOutcome engine = kestrin::RunAnalysis(settings, observer);
    const kestrin::literal::ModelOutcome model = kestrin::literal::RunLiteralModel(settings, false);
    if (engine.status != model.status ||
        kestrin::testing::MaskElapsed(engine.report) != kestrin::testing::MaskElapsed(model.report)) {
        std::abort();
    }
    return 0;
}
