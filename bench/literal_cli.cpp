// SPDX-License-Identifier: MIT
// kestrin-literal: runs the literal model on files and prints its report, the benchmark's baseline.
// kestrin-literal [-l LENGTHS] [-n TOP] FILE...

#include "literal_model.h"

#include <cstdio>
#include <iostream>
#include <string_view>

int main(int argc, char** argv)
{
    kestrin::RunSettings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "-l" || arg == "-n") && i + 1 < argc) {
            (arg == "-l" ? settings.sampleLengths : settings.topResults) = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "usage: kestrin-literal [-l LENGTHS] [-n TOP] FILE...\n";
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
