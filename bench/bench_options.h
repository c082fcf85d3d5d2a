// SPDX-License-Identifier: MIT
#pragma once

// The command-line parser the bench programs share: each program lists its options, and the parser reads
// them up to the operands, "-h"/"--help" included.

#include <charconv>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

namespace kestrin::bench {

// One option: a flag (set), or an option that takes the next word as its value (take, which says whether
// the value is good).
struct Option {
    std::string_view name; // "-k", "--tsv"
    std::function<void()> set;
    std::function<bool(std::string_view value)> take;
};

// How the operands stand among the options.
enum class Operands {
    EndOptions,   // the first operand ends the options: the words after it are operands whatever they are
    AmongOptions, // options and operands may come in any order
};

struct ParsedOptions {
    bool good = true;            // false: an unknown option, or one without its value or with a bad one
    bool help = false;           // "-h" or "--help" was given
    std::vector<char*> operands; // the operands, as they stand in argv
};

// Reads argv[1] on. "--" ends the options. A word of two or more characters that starts with "-" is an
// option; any other word is an operand.
inline ParsedOptions ParseOptions(int argc, char** argv, std::span<const Option> options, Operands operands)
{
    ParsedOptions parsed;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
            return parsed;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            if (operands == Operands::EndOptions) {
                break;
            }
            parsed.operands.push_back(argv[i]);
            continue;
        }
        const Option* option = nullptr;
        for (const Option& known : options) {
            option = known.name == arg ? &known : option;
        }
        if (option == nullptr || (option->take && i + 1 == argc)) {
            parsed.good = false;
            return parsed;
        }
        if (!option->take) {
            option->set();
        } else if (!option->take(argv[++i])) {
            parsed.good = false;
            return parsed;
        }
    }
    for (; i < argc; ++i) {
        parsed.operands.push_back(argv[i]);
    }
    return parsed;
}

// A whole decimal number that is all of the text, within [low, high].
template <typename Number> bool ParseWhole(std::string_view text, Number& value, Number low, Number high)
{
    Number parsed{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

} // namespace kestrin::bench
