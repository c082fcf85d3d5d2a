#include "cli_options.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

namespace kestrin {
namespace {

// The field of the command line that a member pointer names, in the run's settings or beside them.
template <typename T> T& Field(CommandLine& line, T RunSettings::*member)
{
    return line.settings.*member;
}
template <typename T> T& Field(CommandLine& line, T CommandLine::*member)
{
    return line.*member;
}

// What an option does with its value (a flag's is empty). Returns what is wrong with the value, to
// follow the option's name in the message, or an empty text.
using Apply = std::string (*)(CommandLine& line, const std::string& value);

// Sets one field: a flag to true, a text to the value, a file to the value unless it is empty.
template <auto member> std::string Set(CommandLine& line, const std::string& value)
{
    auto& field = Field(line, member);
    using Type = std::remove_reference_t<decltype(field)>;
    if constexpr (std::is_same_v<Type, bool>) {
        field = true;
    } else if constexpr (std::is_same_v<Type, std::string>) {
        field = value;
    } else {
        if (value.empty()) {
            return "needs a file name, not an empty word"; // an empty file name can only be a slip
        }
        field = std::filesystem::path(value);
    }
    return {};
}

std::string SetComments(CommandLine& line, const std::string& style)
{
    constexpr std::pair<std::string_view, CommentStyle> styles[] = {{"c", CommentStyle::C},
                                                                    {"cpp", CommentStyle::Cpp},
                                                                    {"table", CommentStyle::Thingy},
                                                                    {"custom", CommentStyle::Custom}};
    for (const auto& [name, commentStyle] : styles) {
        if (style == name) {
            line.settings.useComments = true;
            line.settings.commentStyle = commentStyle;
            return {};
        }
    }
    return "takes c, cpp, table or custom, not \"" + style + "\"";
}

std::string SetThreads(CommandLine& line, const std::string& count)
{
    if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) {
        return "takes a number of threads, not \"" + count + "\"";
    }
    // More threads than cores gain nothing and cost memory. The digits only grow the number, so capping
    // after each one gives the capped whole number, with no overflow however many digits there are.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    unsigned threads = 0;
    for (const char digit : count) {
        threads = std::min(threads * 10 + static_cast<unsigned>(digit - '0'), cores);
    }
    line.settings.threads = threads;
    return {};
}

struct Option {
    char shortName;             // '\0' when the option has none
    std::string_view longName;  // without its "--"
    std::string_view valueName; // empty for a flag, which takes no value
    std::string_view help;
    Apply apply;
};

// Every option, in the order of the help text. The parser, the help text and with it the manual page
// are all made from this one table.
constexpr Option options[] = {
    {'l', "lengths", "TEXT", "Sample lengths, such as 2, 2-8 or 1,3-5 (default 1)",
     Set<&RunSettings::sampleLengths>},
    {'n', "top", "TEXT", "Results to show: N gives N+1 lines (default 25)", Set<&RunSettings::topResults>},
    {'c', "comments", "STYLE",
     "Count only outside (or with -i inside) comments of the style c, cpp, table or custom", SetComments},
    {'\0', "begin", "TEXT", "Begin text of custom comments", Set<&RunSettings::beginComment>},
    {'\0', "end", "TEXT", "End text of custom comments (default: end of line)",
     Set<&RunSettings::endComment>},
    {'i', "inside", "", "Count only the text inside comments", Set<&RunSettings::readInsideComments>},
    {'\0', "ignore-space", "", "Skip results that contain a space", Set<&RunSettings::ignoreSpace>},
    {'\0', "ignore-return", "", "Skip results that contain a CR and an LF", Set<&RunSettings::ignoreReturn>},
    {'\0', "ignore-tab", "", "Skip results that contain a tab", Set<&RunSettings::ignoreTab>},
    {'\0', "real-savings", "",
     "Choose the entries one by one by what each really saves in the text (with -r: its codes), and end "
     "the report with the encoded sizes",
     Set<&RunSettings::realSavings>},
    {'x', "exclude", "FILE", "Skip results listed in this table file", Set<&RunSettings::exclusionTable>},
    {'o', "report", "FILE", "Also write the whole report to this file", Set<&RunSettings::reportFile>},
    {'t', "table", "FILE", "Append the results to this table file", Set<&RunSettings::outputTable>},
    {'r', "ranges", "TEXT", "Codes for the table, such as &H80-&HFF", Set<&RunSettings::writeTableRanges>},
    {'y', "yes", "", "Answer Yes to the question about a length over 200", Set<&CommandLine::answerYes>},
    {'q', "quiet", "", "Show no progress on stderr", Set<&CommandLine::quiet>},
    {'\0', "threads", "N", "Counting threads (default: one per core)", SetThreads},
    {'\0', "help", "", "Print this help and exit", Set<&CommandLine::help>},
    {'\0', "version", "", "Print the program's name and version and exit", Set<&CommandLine::version>},
};

const Option* FindOption(std::string_view longName)
{
    const auto found = std::find_if(std::begin(options), std::end(options),
                                    [&](const Option& option) { return option.longName == longName; });
    return found == std::end(options) ? nullptr : found;
}

const Option* FindOption(char shortName)
{
    const auto found = std::find_if(std::begin(options), std::end(options), [&](const Option& option) {
        return option.shortName == shortName && shortName != '\0';
    });
    return found == std::end(options) ? nullptr : found;
}

std::size_t IndexOf(const Option& option)
{
    return static_cast<std::size_t>(&option - std::begin(options));
}

std::string UnknownOption(const std::string& word)
{
    return "\"" + word +
           "\" is not an option; a file whose name starts with \"-\" goes after \"--\" (kestrin-cli " +
           "[OPTIONS] -- " + word + ")";
}

ParsedCommandLine Refuse(std::string error)
{
    ParsedCommandLine parsed;
    parsed.error = std::move(error);
    return parsed;
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    // The last value given to each option, by its place in the table; a flag's value is empty.
    std::array<std::optional<std::string>, std::size(options)> given;
    std::vector<std::filesystem::path> files;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (onlyFiles || word.size() < 2 || word[0] != '-') { // "-" alone is a file name too
            files.emplace_back(word);
            continue;
        }
        if (word == "--") {
            onlyFiles = true;
            continue;
        }
        const Option* option = nullptr;
        std::optional<std::string> value;
        if (word[1] == '-') {
            const std::size_t equals = word.find('='); // the value is everything after the first "="
            option = FindOption(std::string_view(word).substr(0, equals).substr(2));
            if (equals != std::string::npos) {
                value = word.substr(equals + 1);
            }
        } else if (word.size() == 2) {
            option = FindOption(word[1]);
        } else {
            // Flags may be grouped ("-qy"), but an option that takes a value stands alone, with its value
            // as the next word: "-l3" or "-qn 5" would otherwise lose the value without a word.
            for (const char letter : std::string_view(word).substr(1)) {
                const Option* flag = FindOption(letter);
                if (flag == nullptr) {
                    return Refuse(UnknownOption(word));
                }
                if (!flag->valueName.empty()) {
                    return Refuse("\"" + word +
                                  "\": write an option that takes a value on its own, followed by its value "
                                  "as the next word (such as -l 3)");
                }
                given[IndexOf(*flag)] = "";
            }
            continue;
        }
        if (option == nullptr) {
            return Refuse(UnknownOption(word));
        }
        const std::string longName = "--" + std::string(option->longName);
        if (option->valueName.empty() && value) {
            return Refuse(
                std::string("\"").append(word).append("\": ").append(longName).append(" takes no value"));
        }
        if (!option->valueName.empty() && !value) {
            if (i + 1 == arguments.size()) {
                return Refuse(longName + " needs a value");
            }
            value = arguments[++i];
        }
        given[IndexOf(*option)] = value.value_or("");
    }

    CommandLine line;
    line.settings.inputFiles = std::move(files);
    std::string wrongValue;
    for (std::size_t n = 0; n < given.size(); ++n) {
        if (!given[n]) {
            continue;
        }
        if (const std::string wrong = options[n].apply(line, *given[n]);
            !wrong.empty() && wrongValue.empty()) {
            wrongValue = "--" + std::string(options[n].longName) + " " + wrong;
        }
    }
    if (!line.help && !line.version) {
        const auto& inputFiles = line.settings.inputFiles;
        if (inputFiles.empty()) {
            return Refuse("no FILE to read");
        }
        if (std::find(inputFiles.begin(), inputFiles.end(), std::filesystem::path()) != inputFiles.end()) {
            return Refuse("a FILE to read is an empty word: give the file's name");
        }
        if (!wrongValue.empty()) {
            return Refuse(wrongValue);
        }
    }
    ParsedCommandLine parsed;
    parsed.commandLine = std::move(line);
    return parsed;
}

std::string Usage()
{
    std::string text = "Counts the byte strings of the given lengths in FILE... and reports those whose "
                       "replacement by one code would save the most space.\n"
                       "Usage: kestrin-cli [OPTIONS] FILE...\n\n"
                       "Positionals:\n"
                       "  FILE...                 Input files, read in this order\n\n"
                       "Options:\n";
    constexpr std::size_t helpColumn = 26;
    for (const Option& option : options) {
        std::string name = "  ";
        if (option.shortName != '\0') {
            name += {'-', option.shortName, ','};
        }
        name += "--" + std::string(option.longName);
        if (!option.valueName.empty()) {
            name += " " + std::string(option.valueName);
        }
        name.resize(std::max(helpColumn, name.size() + 1), ' ');
        text += name + std::string(option.help) + "\n";
    }
    return text;
}

} // namespace kestrin
