// SPDX-License-Identifier: MIT
// The command line of kestrin-cli: its words turned into run settings and the command's own choices,
// with the usage errors, warnings and help text in the command's English.

#include "cli_options.h"

#include "cli_warnings.h"

#include "kestrin/number_list.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
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

// The curve's picture: asking for it asks for the curve, whose points --format json then carries.
std::string SetCurve(CommandLine& line, const std::string& file)
{
    if (std::string wrong = Set<&RunSettings::curveFile>(line, file); !wrong.empty()) {
        return wrong;
    }
    line.settings.savingsCurve = true;
    return {};
}

// The sample lengths as typed; an item beyond the 16-bit range would be dropped without a word, so it is
// refused here by name. "-" always starts a range, so every piece between commas and dashes is a value.
std::string SetLengths(CommandLine& line, const std::string& text)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(",-", start), text.size());
        const std::string piece = text.substr(start, end - start);
        if (const auto value = ParseNumeric(piece);
            value && (value->rounded > 32767 || value->rounded < -32768)) {
            const std::size_t first = piece.find_first_not_of(' ');
            return "holds " + piece.substr(first, piece.find_last_not_of(' ') + 1 - first) +
                   ", which is out of range: sample lengths go from 0 to 32767";
        }
        start = end + 1;
    }
    line.settings.sampleLengths = text;
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

std::string SetEncoding(CommandLine& line, const std::string& name)
{
    constexpr std::pair<std::string_view, TextEncoding> encodings[] = {{"latin1", TextEncoding::Latin1},
                                                                       {"utf-8", TextEncoding::Utf8}};
    for (const auto& [word, encoding] : encodings) {
        if (name == word) {
            line.settings.encoding = encoding;
            return {};
        }
    }
    return "takes latin1 or utf-8, not \"" + name + "\"";
}

// The dictionary bytes as typed, once they are a plain number: the run reads them, and refuses what it
// cannot use, but a slip such as "4k" is named here with the option.
std::string SetDictionaryBytes(CommandLine& line, const std::string& bytes)
{
    if (bytes.empty() || bytes.find_first_not_of("0123456789") != std::string::npos) {
        return "takes a number of bytes, 0 or more, not \"" + bytes + "\"";
    }
    line.settings.dictionaryBytes = bytes;
    return {};
}

// The entry overhead as typed, once it is a plain number, as with the dictionary bytes.
std::string SetEntryOverhead(CommandLine& line, const std::string& bytes)
{
    if (bytes.empty() || bytes.find_first_not_of("0123456789") != std::string::npos) {
        return "takes a number of bytes, 0 or more, not \"" + bytes + "\"";
    }
    line.settings.entryOverhead = bytes;
    return {};
}

std::string SetThreads(CommandLine& line, const std::string& count)
{
    if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) {
        return "takes a number of threads, not \"" + count + "\"";
    }
    // More threads than cores gain nothing and cost memory, so a count is capped at the cores; one that
    // does not even fit 32 bits is a slip, refused rather than taken modulo 2^32.
    constexpr std::uint64_t most = 0xFFFFFFFF;
    std::uint64_t threads = 0;
    for (const char digit : count) {
        threads = threads * 10 + static_cast<std::uint64_t>(digit - '0');
        if (threads > most) {
            return count + " is out of range: give 0 (one per core) to " + std::to_string(most);
        }
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    line.settings.threads = static_cast<unsigned>(std::min<std::uint64_t>(threads, cores));
    return {};
}

std::string SetFormat(CommandLine& line, const std::string& format)
{
    constexpr std::pair<std::string_view, OutputFormat> formats[] = {
        {"report", OutputFormat::Report}, {"tsv", OutputFormat::Tsv}, {"json", OutputFormat::Json}};
    for (const auto& [name, value] : formats) {
        if (format == name) {
            line.format = value;
            return {};
        }
    }
    return "takes report, tsv or json, not \"" + format + "\"";
}

// The groups of the help text, in its order.
enum class Group { Input, Counting, Filters, RealSavings, Output, General };
constexpr std::string_view groupTitles[] = {
    "Input:", "Counting:", "Filters:", "Real savings:", "Output:", "General:"};

struct Option {
    Group group;
    char shortName;             // '\0' when the option has none
    std::string_view longName;  // without its "--"
    std::string_view valueName; // empty for a flag, which takes no value
    std::string_view help;
    Apply apply;
};

// Every option, by group in the order of the help text. The parser, the help text and with it the
// manual page are all made from this one table.
constexpr Option options[] = {
    {Group::Input, 'c', "comments", "STYLE",
     "count only outside (with -i: inside) comments of the style c, cpp, table or custom", SetComments},
    {Group::Input, '\0', "begin", "TEXT", "begin text of custom comments (with -c custom)",
     Set<&RunSettings::beginComment>},
    {Group::Input, '\0', "end", "TEXT", "end text of custom comments (default: end of line)",
     Set<&RunSettings::endComment>},
    {Group::Input, 'i', "inside", "", "count only the text inside comments (with -c)",
     Set<&RunSettings::readInsideComments>},
    {Group::Input, '\0', "encoding", "NAME",
     "how bytes make characters in the files, the tables and the comment texts: latin1 (one per byte, "
     "the default) or utf-8",
     SetEncoding},
    {Group::Input, '\0', "game-table", "FILE",
     "the game's character table (HEX=text lines, in the encoding): count in its codes and the game's "
     "bytes",
     Set<&RunSettings::gameTable>},
    {Group::Counting, 'l', "lengths", "TEXT", "sample lengths, such as 2, 2-8 or 1,3-5 (default 1)",
     SetLengths},
    {Group::Counting, 'n', "top", "TEXT", "results to show: N gives N+1 lines (default 25)",
     Set<&RunSettings::topResults>},
    {Group::Counting, '\0', "threads", "N", "counting threads (default 0: one per core)", SetThreads},
    {Group::Filters, '\0', "ignore-space", "", "skip results that contain a space",
     Set<&RunSettings::ignoreSpace>},
    {Group::Filters, '\0', "ignore-return", "",
     "skip results that contain a CR and an LF (an LF alone, when an input ends its lines so)",
     Set<&RunSettings::ignoreReturn>},
    {Group::Filters, '\0', "ignore-tab", "", "skip results that contain a tab", Set<&RunSettings::ignoreTab>},
    {Group::Filters, 'x', "exclude", "FILE", "skip results listed in this table file",
     Set<&RunSettings::exclusionTable>},
    {Group::RealSavings, '\0', "real-savings", "",
     "choose the entries one by one by what each really saves in the text (with -r: at the size of its "
     "code), and end the report with the encoded sizes",
     Set<&RunSettings::realSavings>},
    {Group::RealSavings, '\0', "dictionary-bytes", "N",
     "the most bytes the chosen entries may take in the game together (default: no limit)",
     SetDictionaryBytes},
    {Group::RealSavings, '\0', "evaluate", "FILE",
     "count nothing: judge this table of entries (HEX=text lines, in the encoding, codes of 1 to 4 bytes) "
     "by encoding the text through it as an inserter does, and report each entry's uses, what is wrong "
     "with it, and the encoded sizes",
     Set<&RunSettings::evaluateTable>},
    {Group::RealSavings, '\0', "show-encoding", "FILE",
     "with --real-savings or --evaluate, write the text as encoded by longest match to this file, each "
     "entry's text in braces, {, } and \\ of the text written as \\{, \\} and \\\\",
     Set<&RunSettings::encodingPreview>},
    {Group::RealSavings, '\0', "keep", "FILE",
     "a table of entries (HEX=text) in the dictionary from the start, with their codes: the report lists "
     "them first, marked kept, and the choice fills the codes of -r that they do not use; -t receives "
     "only the new entries, so it may be this FILE",
     Set<&RunSettings::keepTable>},
    {Group::RealSavings, '\0', "entry-overhead", "N",
     "the bytes each entry takes in the game beyond its text (a terminator, a length or a pointer; "
     "default 0): an entry must save more than its length and N, and --dictionary-bytes and the table "
     "size count N per entry; without --real-savings it changes nothing",
     SetEntryOverhead},
    {Group::RealSavings, '\0', "curve", "FILE",
     "write the savings curve as an SVG picture to FILE: the script by longest match, the dictionary and "
     "their sum after each number of entries (exact at 21 points or more), the smallest sum marked; "
     "--format json then adds the points",
     SetCurve},
    {Group::Output, 'o', "report", "FILE", "also write the whole report to this file",
     Set<&RunSettings::reportFile>},
    {Group::Output, '\0', "force", "", "let -o replace a file that is not a report",
     Set<&CommandLine::force>},
    {Group::Output, 't', "table", "FILE", "append the results to this table file (with -r)",
     Set<&RunSettings::outputTable>},
    {Group::Output, 'r', "ranges", "TEXT", "codes for the table, such as &H80-&HFF",
     Set<&RunSettings::writeTableRanges>},
    {Group::Output, '\0', "format", "FORMAT",
     "what standard output carries: report (default), or one record per result as tsv or json", SetFormat},
    {Group::General, 'y', "yes", "", "answer Yes to the question about a length over 200",
     Set<&CommandLine::answerYes>},
    {Group::General, 'q', "quiet", "", "show no progress on stderr", Set<&CommandLine::quiet>},
    {Group::General, 'h', "help", "", "print this help and exit", Set<&CommandLine::help>},
    {Group::General, '\0', "version", "", "print the version and licence and exit",
     Set<&CommandLine::version>},
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
           "[OPTION]... -- " + word + ")";
}

std::string CheckInputFiles(const std::vector<std::filesystem::path>& inputFiles)
{
    if (inputFiles.empty()) {
        return "no FILE to read";
    }
    if (std::find(inputFiles.begin(), inputFiles.end(), std::filesystem::path()) != inputFiles.end()) {
        return "a FILE to read is an empty word: give the file's name";
    }
    if (std::count(inputFiles.begin(), inputFiles.end(), std::filesystem::path(standardInputPath)) > 1) {
        return "standard input (-) is given twice: it can be read once (a file named \"-\" is ./-)";
    }
    return {};
}

ParsedCommandLine Refuse(std::string error)
{
    ParsedCommandLine parsed;
    parsed.error = std::move(error);
    return parsed;
}

// The last value given to each option, by its place in the table; a flag's value is empty.
using GivenValues = std::array<std::optional<std::string>, std::size(options)>;

// Marks each flag of a group such as "-qy". Returns why the group is refused, or an empty text.
std::string TakeFlagGroup(const std::string& word, GivenValues& given)
{
    // Flags may be grouped ("-qy"), but an option that takes a value stands alone, with its value as the
    // next word: "-l3" or "-qn 5" would otherwise lose the value without a word.
    for (const char letter : std::string_view(word).substr(1)) {
        const Option* flag = FindOption(letter);
        if (flag == nullptr) {
            return UnknownOption(word);
        }
        if (!flag->valueName.empty()) {
            return "\"" + word +
                   "\": write an option that takes a value on its own, followed by its value as the next "
                   "word (such as -l 3)";
        }
        given[IndexOf(*flag)] = "";
    }
    return {};
}

// Takes the option word at `i` with its value: after its "=", or, for an option that takes a value, the
// next word, which `i` then moves to. Returns why the word is refused, or an empty text.
std::string TakeOption(const std::vector<std::string>& arguments, std::size_t& i, GivenValues& given)
{
    const std::string& word = arguments[i];
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
        return TakeFlagGroup(word, given);
    }
    if (option == nullptr) {
        return UnknownOption(word);
    }
    const std::string longName = "--" + std::string(option->longName);
    if (option->valueName.empty() && value) {
        return std::string("\"").append(word).append("\": ").append(longName).append(" takes no value");
    }
    if (!option->valueName.empty() && !value) {
        if (i + 1 == arguments.size()) {
            return longName + " needs a value";
        }
        value = arguments[++i];
    }
    given[IndexOf(*option)] = value.value_or("");
    return {};
}

// Sorts the words into options with their values and files to read, in their order. Returns why the
// words are refused, or an empty text.
std::string ReadWords(const std::vector<std::string>& arguments, GivenValues& given,
                      std::vector<std::filesystem::path>& files)
{
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (onlyFiles || word.size() < 2 || word[0] != '-') {
            files.emplace_back(word == standardInputName ? standardInputPath : std::string_view(word));
        } else if (word == "--") {
            onlyFiles = true;
        } else if (std::string wrong = TakeOption(arguments, i, given); !wrong.empty()) {
            return wrong;
        }
    }
    return {};
}

// Applies the given values in the table's order. Returns what is wrong with the first wrong value, or an
// empty text.
std::string ApplyOptions(const GivenValues& given, CommandLine& line)
{
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
    return wrongValue;
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    GivenValues given;
    std::vector<std::filesystem::path> files;
    if (std::string wrong = ReadWords(arguments, given, files); !wrong.empty()) {
        return Refuse(std::move(wrong));
    }
    CommandLine line;
    line.settings.inputFiles = std::move(files);
    const std::string wrongValue = ApplyOptions(given, line);
    if (!line.help && !line.version) {
        if (std::string wrong = CheckInputFiles(line.settings.inputFiles); !wrong.empty()) {
            return Refuse(std::move(wrong));
        }
        if (!wrongValue.empty()) {
            return Refuse(wrongValue);
        }
    }
    ParsedCommandLine parsed;
    parsed.warnings = WarnAboutPartners(
        line, [&](std::string_view name) { return given[IndexOf(*FindOption(name))].has_value(); });
    for (std::string& warning : WarnAboutNumbers(line.settings)) {
        parsed.warnings.push_back(std::move(warning));
    }
    parsed.commandLine = std::move(line);
    return parsed;
}

std::string Usage()
{
    std::string text = "Usage: kestrin-cli [OPTION]... FILE...\n"
                       "Count the byte strings of the given lengths in each FILE, in the order given,\n"
                       "and report those whose replacement by one code would save the most space.\n"
                       "With FILE -, read standard input.\n";
    constexpr std::size_t helpColumn = 24;
    constexpr std::size_t width = 79;
    std::optional<Group> group;
    for (const Option& option : options) {
        if (option.group != group) {
            group = option.group;
            text += "\n" + std::string(groupTitles[static_cast<std::size_t>(option.group)]) + "\n";
        }
        std::string names =
            option.shortName != '\0' ? std::string{' ', ' ', '-', option.shortName, ','} : "     ";
        names += " --" + std::string(option.longName);
        if (!option.valueName.empty()) {
            names += " " + std::string(option.valueName);
        }
        std::string line = names + "  ";
        if (line.size() > helpColumn) { // a long name takes a line of its own
            text += names + "\n";
            line.clear();
        }
        line.resize(helpColumn, ' ');
        // The help wraps at word boundaries, each of its lines starting at the help column.
        for (std::string_view help = option.help; !help.empty(); line.assign(helpColumn, ' ')) {
            std::size_t cut = help.size();
            if (helpColumn + help.size() > width) { // a word longer than a line stays whole
                cut = std::min(help.rfind(' ', width - helpColumn), help.size());
            }
            text += line + std::string(help.substr(0, cut)) + "\n";
            help.remove_prefix(std::min(help.size(), cut + 1));
        }
    }
    text += "\nExit status:\n"
            "  0  the report (or with --format, the records) was written\n"
            "  1  the run was declined at the question about a length over 200\n"
            "  2  a bad command line or sample length, or -o refused (see --force)\n"
            "  3  a file or standard output could not be read or written, or memory ran out\n"
            "\nExample: the 127 entries that save most in a script, from the codes 80 to FE:\n"
            "  kestrin-cli -l 2-8 -n 126 --real-savings -t dte.tbl -r '&H80-&HFE' script.txt\n"
            "\nFull documentation: man kestrin-cli\n";
    return text;
}

} // namespace kestrin
