// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// What standard output carries in place of the report.
enum class OutputFormat {
    Report, // the report, as the report file holds it
    Tsv,    // one line per result, fields separated by tabs, C escapes in the string
    Json,   // one JSON document: the results and, with real savings, the sizes
};

// What the command line asks for, besides the run's own settings.
struct CommandLine {
    RunSettings settings;
    bool answerYes = false; // -y: Yes to the question about a long sample length
    bool quiet = false;     // -q: no progress on stderr
    bool force = false;     // --force: -o may replace a file that is not a report
    OutputFormat format = OutputFormat::Report;
    bool help = false;    // -h, --help: print the usage and stop
    bool version = false; // --version: print the program's name and version and stop
};

// The file name that stands for standard input, and the path the run reads it by.
inline constexpr std::string_view standardInputName = "-";
inline constexpr std::string_view standardInputPath = "/dev/stdin";

// The result of reading the arguments: the command line, or the message for a bad one.
struct ParsedCommandLine {
    std::optional<CommandLine> commandLine;
    std::string error;                 // set when commandLine is empty: one line, without the program name
    std::vector<std::string> warnings; // options that do nothing without their partner, each named
};

// Reads the arguments (without the program name). An option's value is always the next word, even when
// it starts with "-" or is empty; "--name=value" works too, the value being everything after the first
// "="; a repeated option keeps its last value. The flags -i, -y, -q and -h may be grouped ("-qy"); an
// option that takes a value stands alone. Words after "--" are files; "-" anywhere is standard input,
// read by its path /dev/stdin, and may be given once. With --help or --version, no FILE is needed and
// the option values are not checked.
[[nodiscard]] ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The help text: the usage, what the command does, the options by group, the exit statuses and an
// example; no line is wider than 79 columns.
[[nodiscard]] std::string Usage();

} // namespace kestrin
