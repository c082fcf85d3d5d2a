#include "cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <map>

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

    CLI::App app(
        "Counts the byte strings of the given lengths in FILE... and reports those whose replacement "
        "by one code would save the most space.",
        "kestrin-cli");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag(); // --help is handled here, so that the usage can also go to stdout
    app.get_formatter()->column_width(26);

    std::string style;
    std::string exclude;
    std::string report;
    std::string table;
    std::vector<std::string> files;
    app.add_option("-l,--lengths", settings.sampleLengths,
                   "Sample lengths, such as 2, 2-8 or 1,3-5 (default 1)");
    app.add_option("-n,--top", settings.topResults, "Results to show: N gives N+1 lines (default 25)");
    app.add_option("-c,--comments", style,
                   "Count only outside (or with -i inside) comments: c, cpp, table, custom")
        ->check(CLI::IsMember({"c", "cpp", "table", "custom"}));
    app.add_option("--begin", settings.beginComment, "Begin text of custom comments");
    app.add_option("--end", settings.endComment, "End text of custom comments (default: end of line)");
    app.add_flag("-i,--inside", settings.readInsideComments, "Count only the text inside comments");
    app.add_flag("--ignore-space", settings.ignoreSpace, "Skip results that contain a space");
    app.add_flag("--ignore-return", settings.ignoreReturn, "Skip results that contain a CR and an LF");
    app.add_flag("--ignore-tab", settings.ignoreTab, "Skip results that contain a tab");
    const auto* excludeOption =
        app.add_option("-x,--exclude", exclude, "Skip results listed in this table file");
    const auto* reportOption =
        app.add_option("-o,--report", report, "Also write the whole report to this file");
    const auto* tableOption = app.add_option("-t,--table", table, "Append the results to this table file");
    app.add_option("-r,--ranges", settings.writeTableRanges, "Codes for the table, such as &H80-&HFF");
    app.add_flag("-y,--yes", line.answerYes, "Answer Yes to the question about a length over 200");
    app.add_flag("-q,--quiet", line.quiet, "Show no progress on stderr");
    app.add_option("--threads", settings.threads, "Counting threads (default: one per core)");
    app.add_flag("--help", line.help, "Print this help and exit");
    app.add_option("FILE", files, "Input files, read in this order");
    parsed.usage = app.help();

    std::vector<std::string> words;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (onlyFiles) {
            words.push_back(word);
            continue;
        }
        if (word == "--") {
            onlyFiles = true;
            words.push_back(word);
            continue;
        }
        if (const auto longName = LongNameOf(word)) {
            if (i + 1 == arguments.size()) {
                parsed.error = std::string(*longName) + " needs a value";
                return parsed;
            }
            words.push_back(std::string(*longName) + "=" + arguments[++i]);
            continue;
        }
        words.push_back(word);
    }
    std::reverse(words.begin(), words.end()); // CLI11 takes the words last first
    try {
        app.parse(words);
    } catch (const CLI::ParseError& error) {
        parsed.error = error.what();
        return parsed;
    }
    if (line.help) {
        parsed.commandLine = std::move(line);
        return parsed;
    }
    if (files.empty()) {
        parsed.error = "no FILE to read";
        return parsed;
    }
    settings.inputFiles.assign(files.begin(), files.end());
    if (!style.empty()) {
        settings.useComments = true;
        static const std::map<std::string, CommentStyle> styles{{"c", CommentStyle::C},
                                                                {"cpp", CommentStyle::Cpp},
                                                                {"table", CommentStyle::Thingy},
                                                                {"custom", CommentStyle::Custom}};
        settings.commentStyle = styles.at(style);
    }
    if (excludeOption->count() > 0) {
        settings.exclusionTable = exclude;
    }
    if (reportOption->count() > 0) {
        settings.reportFile = report;
    }
    if (tableOption->count() > 0) {
        settings.outputTable = table;
    }
    parsed.commandLine = std::move(line);
    return parsed;
}

} // namespace kestrin
