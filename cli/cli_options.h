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
};

// Reads the arguments (without the program name). An option's value is always the next word, even when
// it starts with "-" or is empty; "--name=value" works too, the value being everything after the first
// "="; a repeated option keeps its last value. The flags -i, -y and -q may be grouped ("-qy"); an option
// that takes a value stands alone. Words after "--" are files. With --help or --version, no FILE is
// needed and the option values are not checked.
[[nodiscard]] ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The help text: what the command does, its usage and one line per option.
[[nodiscard]] std::string Usage();

} // namespace kestrin
