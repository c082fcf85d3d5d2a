#pragma once

#include "kestrin/run_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrin {

// What the command line asks for, besides the run's own settings.
struct CommandLine {
    RunSettings settings;
    bool answerYes = false; // -y: Yes to the question about a long sample length
    bool quiet = false;     // -q: no progress on stderr
    bool help = false;      // --help: print the usage and stop
    bool version = false;   // --version: print the program's name and version and stop
};

// The result of reading the arguments: the command line, or the message for a bad one.
struct ParsedCommandLine {
    std::optional<CommandLine> commandLine;
    std::string error; // set when commandLine is empty
    std::string usage; // the help text
};

// Reads the arguments (without the program name). An option's argument is always the next word, even
// when it starts with "-"; "--name=value" works too; a repeated option keeps its last value.
[[nodiscard]] ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

} // namespace kestrin
