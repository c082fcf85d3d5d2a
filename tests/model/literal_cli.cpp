// kestrin-literal: runs the literal model on files and prints its report, as the benchmark's baseline.
// kestrin-literal [-l LENGTHS] [-n TOP] [-c c|cpp|table|custom] [--begin T] [--end T] FILE...

#include "literal_model.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

int main(int argc, char** argv)
{
    kestrin::RunSettings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-l" && hasValue) {
            settings.sampleLengths = argv[++i];
        } else if (arg == "-n" && hasValue) {
            settings.topResults = argv[++i];
        } else if (arg == "-c" && hasValue) {
            const std::string_view style = argv[++i];
            settings.useComments = true;
            if (style == "c") {
                settings.commentStyle = kestrin::CommentStyle::C;
            } else if (style == "cpp") {
                settings.commentStyle = kestrin::CommentStyle::Cpp;
            } else if (style == "table") {
                settings.commentStyle = kestrin::CommentStyle::Thingy;
            } else if (style == "custom") {
                settings.commentStyle = kestrin::CommentStyle::Custom;
            } else {
                std::cerr << "kestrin-literal: unknown comment style " << style << "\n";
                return 2;
            }
        } else if (arg == "--begin" && hasValue) {
            settings.beginComment = argv[++i];
        } else if (arg == "--end" && hasValue) {
            settings.endComment = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "usage: kestrin-literal [-l LENGTHS] [-n TOP] [-c c|cpp|table|custom] [--begin T] "
                         "[--end T] FILE...\n";
            return 2;
        } else {
            settings.inputFiles.emplace_back(arg);
        }
    }
    const kestrin::literal::ModelOutcome outcome = kestrin::literal::RunLiteralModel(settings, true);
    if (outcome.status != kestrin::RunStatus::Completed) {
        std::cerr << "kestrin-literal: the run did not complete (status " << static_cast<int>(outcome.status)
                  << ")\n";
        return 1;
    }
    std::fwrite(outcome.report.data(), 1, outcome.report.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
