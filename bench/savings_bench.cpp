// SPDX-License-Identifier: MIT
// Times the savings choice on one file and compares the bytes it saves with a table of the plain
// ranking's top strings:
//     kestrin-savings-bench FILE LENGTHS ENTRIES CODE_BYTES [REPORT]
// LENGTHS is "first-last"; ENTRIES the most entries, each of CODE_BYTES bytes. REPORT, a report of
// kestrin-cli on the same file, gives the plain top strings (by their hex), which are encoded with the
// same code bytes.

#include "cancel_flag.h"
#include "savings/real_savings.h"

#include <cctype>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string ReadAll(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The strings of the result lines of a report, from their "hex = " fields.
std::vector<std::string> PlainTop(const std::string& report)
{
    std::vector<std::string> strings;
    std::size_t at = 0;
    while ((at = report.find("; hex = ", at)) != std::string::npos) {
        at += 8;
        std::string text;
        for (; at + 1 < report.size() && std::isxdigit(static_cast<unsigned char>(report[at])) != 0;
             at += 2) {
            text += static_cast<char>(std::stoi(report.substr(at, 2), nullptr, 16));
        }
        strings.push_back(text);
    }
    return strings;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::cerr << "usage: kestrin-savings-bench FILE FIRST-LAST ENTRIES CODE_BYTES [REPORT]\n";
        return 2;
    }
    const std::string text = ReadAll(argv[1]);
    const std::string lengths = argv[2];
    const std::size_t dash = lengths.find('-');
    const std::int64_t first = std::stoll(lengths.substr(0, dash));
    const std::int64_t last = dash == std::string::npos ? first : std::stoll(lengths.substr(dash + 1));
    const int code = std::stoi(argv[4]);

    kestrin::SavingsRequest request;
    request.stretches = {text};
    for (std::int64_t length = first; length <= last; ++length) {
        request.lengths.push_back(static_cast<std::int16_t>(length));
    }
    request.codeBytes.assign(std::stoul(argv[3]), code);
    const long before = PeakKiB();
    const auto start = Clock::now();
    const kestrin::CancelFlag cancel;
    const kestrin::SavingsResult result = kestrin::ChooseEntries(request, cancel);
    const double total = Seconds(start);
    const auto encodeStart = Clock::now();
    const std::vector<kestrin::CodedEntry> coded = kestrin::CodedEntries(result);
    (void)kestrin::EncodeLongestMatch(request.stretches, coded);
    (void)kestrin::EncodeBestParse(request.stretches, coded);
    std::cout << "file " << argv[1] << "\nlengths " << first << "-" << last << ", up to " << argv[3]
              << " entries of " << code << " code bytes\n"
              << "time " << total << " s (of which about " << Seconds(encodeStart)
              << " s the two encodings)\npeak RSS " << PeakKiB() / 1024 << " MiB (" << before / 1024
              << " MiB before)\nentries " << result.entries.size() << "\nN " << result.textBytes << "  M "
              << result.longestMatchBytes << "  K " << result.bestParseBytes << "  T " << result.tableBytes
              << "\nsaved: N-M " << result.textBytes - result.longestMatchBytes << "  N-K "
              << result.textBytes - result.bestParseBytes << "\n";
    if (argc > 5) {
        const std::vector<std::string> plain = PlainTop(ReadAll(argv[5]));
        std::vector<kestrin::CodedEntry> plainCoded;
        std::int64_t plainTable = 0;
        for (std::size_t i = 0; i < plain.size() && i < request.codeBytes.size(); ++i) {
            plainCoded.push_back({plain[i], code});
            plainTable += static_cast<std::int64_t>(plain[i].size());
        }
        const std::int64_t m = kestrin::EncodeLongestMatch(request.stretches, plainCoded);
        const std::int64_t k = kestrin::EncodeBestParse(request.stretches, plainCoded);
        std::cout << "plain top " << plainCoded.size() << ": M " << m << "  K " << k << "  T " << plainTable
                  << "\nplain saved: N-M " << result.textBytes - m << "  N-K " << result.textBytes - k
                  << "\n";
    }
    std::cout << "first entries:";
    for (std::size_t i = 0; i < result.entries.size() && i < 12; ++i) {
        std::cout << " [" << result.entries[i].text << "]x" << result.entries[i].occurrences;
    }
    std::cout << "\n";
}
