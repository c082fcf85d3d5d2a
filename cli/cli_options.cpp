#include "cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <map>
#include <thread>

namespace kestrin {
namespace {

struct ValueOption {
    std::string_view shortName; // empty when the option has none
    std::string_view longName;
};

// Options that take a value. Their value is joined to them before the parser sees it, so that a value
// such as "--", "-1" or "-3" is never taken for an option.
constexpr std::array<ValueOption, 10> valueOptions{{
    {"-l", "--lengths"},
    {"-n", "--top"},
    {"-c", "--comments"},
    {"", "--begin"},
    {"", "--end"},
    {"-x", "--exclude"},
    {"-o", "--report"},
    {"-t", "--table"},
    {"-r", "--ranges"},
    {"", "--threads"},
}};

// The options that take no value.
constexpr std::array<std::string_view, 11> flagNames{
    "--inside", "--ignore-space", "--ignore-return", "--ignore-tab", "--yes",
    "--quiet",  "--help",         "--version",       "-i",           "-y",
    "-q",
};

std::string UnknownOption(const std::string& word)
{
    return "\"" + word +
           "\" is not an option; a file whose name starts with \"-\" goes after \"--\" (kestrin-cli " +
           "[OPTIONS] -- " + word + ")";
}

// The options whose value names a file: an empty name can only be a slip.
bool NamesAFile(std::string_view longName)
{
    return longName == "--exclude" || longName == "--report" || longName == "--table";
}

std::optional<std::string_view> LongNameOf(std::string_view word)
{
    for (const auto& option : valueOptions) {
        if (word == option.longName || (!option.shortName.empty() && word == option.shortName)) {
            return option.longName;
        }
    }
    return std::nullopt;
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine parsed;
    CommandLine line;
    RunSettings& settings = line.settings;

    // The options that take a value are read here, before the parser sees the words: their value is
    // always the next word, even "--", "-1" or an empty word, which CLI11 would take for an option or
    // a missing value. The parser still knows them, for the help text.
    std::map<std::string, std::string, std::less<>> values;
    std::vector<std::string> words;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (onlyFiles || word == "--") {
            onlyFiles = true;
            words.push_back(word);
            continue;
        }
        if (const auto longName = LongNameOf(word)) {
            if (i + 1 == arguments.size()) {
                parsed.error = std::string(*longName) + " needs a value";
                return parsed;
            }
            values[std::string(*longName)] = arguments[++i];
            continue;
        }
        if (const auto equals = word.find('='); word.rfind("--", 0) == 0 && equals != std::string::npos) {
            if (const auto longName = LongNameOf(std::string_view(word).substr(0, equals))) {
                values[std::string(*longName)] = word.substr(equals + 1);
                continue;
            }
        }
        // Short flags may be grouped ("-qy"), but an option that takes a value stands alone, with its
        // value as the next word: "-l3" or "-qn 5" would otherwise lose the value without a word.
        if (word.size() > 2 && word[0] == '-' && word[1] != '-' &&
            word.find_first_not_of("iyq", 1) != std::string::npos) {
            const std::size_t valueLetter = word.find_first_of("lncxotr", 1);
            if (valueLetter != std::string::npos && word.find_first_not_of("iyq", 1) == valueLetter) {
                parsed.error = "\"" + word +
                               "\": write an option that takes a value on its own, followed by its value "
                               "as the next word (such as -l 3)";
            } else {
                parsed.error = UnknownOption(word);
            }
            return parsed;
        }
        if (word.size() > 2 && word.rfind("--", 0) == 0 &&
            std::find(flagNames.begin(), flagNames.end(), word) == flagNames.end()) {
            parsed.error = UnknownOption(word);
            return parsed;
        }
        words.push_back(word);
    }

    CLI::App app(
        "Counts the byte strings of the given lengths in FILE... and reports those whose replacement "
        "by one code would save the most space.",
        "kestrin-cli");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag(); // --help is a plain flag here, so that the usage goes to stdout
    app.get_formatter()->column_width(26);
    std::string unused;
    app.add_option("-l,--lengths", unused, "Sample lengths, such as 2, 2-8 or 1,3-5 (default 1)");
    app.add_option("-n,--top", unused, "Results to show: N gives N+1 lines (default 25)");
    app.add_option("-c,--comments", unused,
                   "Count only outside (or with -i inside) comments of the style c, cpp, table or custom");
    app.add_option("--begin", unused, "Begin text of custom comments");
    app.add_option("--end", unused, "End text of custom comments (default: end of line)");
    app.add_flag("-i,--inside", settings.readInsideComments, "Count only the text inside comments");
    app.add_flag("--ignore-space", settings.ignoreSpace, "Skip results that contain a space");
    app.add_flag("--ignore-return", settings.ignoreReturn, "Skip results that contain a CR and an LF");
    app.add_flag("--ignore-tab", settings.ignoreTab, "Skip results that contain a tab");
    app.add_option("-x,--exclude", unused, "Skip results listed in this table file");
    app.add_option("-o,--report", unused, "Also write the whole report to this file");
    app.add_option("-t,--table", unused, "Append the results to this table file");
    app.add_option("-r,--ranges", unused, "Codes for the table, such as &H80-&HFF");
    app.add_flag("-y,--yes", line.answerYes, "Answer Yes to the question about a length over 200");
    app.add_flag("-q,--quiet", line.quiet, "Show no progress on stderr");
    app.add_option("--threads", unused, "Counting threads (default: one per core)");
    app.add_flag("--help", line.help, "Print this help and exit");
    app.add_flag("--version", line.version, "Print the program's name and version and exit");
    std::vector<std::string> files;
    app.add_option("FILE", files, "Input files, read in this order");
    parsed.usage = app.help();

    std::reverse(words.begin(), words.end()); // CLI11 takes the words last first
    try {
        app.parse(words);
    } catch (const CLI::ParseError& error) {
        parsed.error = error.what();
        return parsed;
    }
    if (line.help || line.version) {
        parsed.commandLine = std::move(line);
        return parsed;
    }
    if (files.empty()) {
        parsed.error = "no FILE to read";
        return parsed;
    }
    if (std::find(files.begin(), files.end(), std::string()) != files.end()) {
        parsed.error = "a FILE to read is an empty word: give the file's name";
        return parsed;
    }
    for (const auto& [name, given] : values) {
        if (NamesAFile(name) && given.empty()) {
            parsed.error = name + " needs a file name, not an empty word";
            return parsed;
        }
    }
    settings.inputFiles.assign(files.begin(), files.end());

    const auto value = [&](std::string_view name) -> const std::string* {
        const auto found = values.find(name);
        return found == values.end() ? nullptr : &found->second;
    };
    // The options whose value goes into a setting as it is.
    const auto take = [&](std::string_view name, auto& setting) {
        if (const auto* given = value(name)) {
            setting = *given;
        }
    };
    take("--lengths", settings.sampleLengths);
    take("--top", settings.topResults);
    take("--begin", settings.beginComment);
    take("--end", settings.endComment);
    take("--exclude", settings.exclusionTable);
    take("--report", settings.reportFile);
    take("--table", settings.outputTable);
    take("--ranges", settings.writeTableRanges);
    if (const auto* style = value("--comments")) {
        static const std::map<std::string, CommentStyle, std::less<>> styles{
            {"c", CommentStyle::C},
            {"cpp", CommentStyle::Cpp},
            {"table", CommentStyle::Thingy},
            {"custom", CommentStyle::Custom}};
        const auto found = styles.find(*style);
        if (found == styles.end()) {
            parsed.error = "--comments takes c, cpp, table or custom, not \"" + *style + "\"";
            return parsed;
        }
        settings.useComments = true;
        settings.commentStyle = found->second;
    }
    if (const auto* threads = value("--threads")) {
        const bool digitsOnly =
            !threads->empty() && threads->size() <= 4 &&
            std::all_of(threads->begin(), threads->end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digitsOnly) {
            parsed.error = "--threads takes a number of threads, not \"" + *threads + "\"";
            return parsed;
        }
        // More threads than cores gain nothing and cost memory.
        settings.threads = std::min(static_cast<unsigned>(std::stoul(*threads)),
                                    std::max(1u, std::thread::hardware_concurrency()));
    }
    parsed.commandLine = std::move(line);
    return parsed;
}

} // namespace kestrin
