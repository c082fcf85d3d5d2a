// SPDX-License-Identifier: MIT
// The real-savings choice and its encoders on arbitrary small texts and settings, compared with the plain
// model of the test suite. The first bytes choose the lengths, the codes, the filter and a few entries
// for the encoders; the rest is the text, split into up to four stretches.

#include "cancel_flag.h"
#include "savings/real_savings.h"
#include "savings_model.h"

#include <cstdio>
#include <cstdlib>

namespace {

using kestrin::CodedEntry;
using kestrin::SavingsRequest;
using kestrin::SavingsResult;

// The model counts every candidate afresh at every step: small texts keep a run short.
constexpr std::size_t mostText = 120;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_savings: %s differs from the model\n", what);
    std::abort();
}

std::uint8_t Take(std::string_view& input)
{
    if (input.empty()) {
        return 0;
    }
    const auto byte = static_cast<std::uint8_t>(input[0]);
    input.remove_prefix(1);
    return byte;
}

// Lengths 1 to 8 by the bits of a byte, and one more of up to 40, above the longest length that the
// index compares byte by byte.
std::vector<std::int16_t> TakeLengths(std::string_view& input)
{
    std::vector<std::int16_t> lengths;
    const std::uint8_t mask = Take(input);
    for (int bit = 0; bit < 8; ++bit) {
        if (mask & (1U << bit)) {
            lengths.push_back(bit + 1);
        }
    }
    if (const std::uint8_t extra = Take(input) % 48; extra >= 9) {
        lengths.insert(lengths.begin() + (extra == 47 ? 0 : std::ssize(lengths)), extra == 47 ? -1 : extra);
    }
    return lengths;
}

std::vector<int> TakeCodes(std::string_view& input)
{
    std::vector<int> codes(Take(input) % 9);
    for (int& code : codes) {
        code = Take(input) % 5 - 1; // -1 counts as 0
    }
    return codes;
}

// Entries cut from the text by the bytes of recipe, some across stretch and line ends, with codes of 0 to 2
// bytes.
std::vector<CodedEntry> TakeEntries(std::string_view& recipe, std::string_view text)
{
    std::vector<CodedEntry> entries(text.empty() ? 0 : Take(recipe) % 6);
    for (CodedEntry& entry : entries) {
        const std::size_t start = Take(recipe) % text.size();
        entry.text = text.substr(start, 1 + Take(recipe) % 6);
        entry.codeBytes = Take(recipe) % 3;
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8) {
        return -1;
    }
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::uint8_t flags = Take(input);
    SavingsRequest request;
    request.lengths = TakeLengths(input);
    request.codeBytes = TakeCodes(input);
    request.trackShare = (flags & 4) != 0 ? 1 : 16;
    std::string_view entrySpec = input.substr(0, std::min<std::size_t>(16, input.size()));
    input.remove_prefix(entrySpec.size());
    std::string text(input.substr(0, std::min(input.size(), mostText)));
    if (flags & 8) { // a small alphabet with line ends, for repeats and runs such as "aaaa"
        for (char& c : text) {
            c = "aabbabc\n\r a"[static_cast<unsigned char>(c) % 11];
        }
    }
    const char forbiddenByte = text.empty() ? 'a' : text[0];
    if (flags & 1) {
        request.forbidden = [=](std::string_view s) {
            return s.find(forbiddenByte) != std::string_view::npos;
        };
    } else if (flags & 2) {
        request.forbidden = [](std::string_view s) { return s.size() == 2; };
    }
    const std::size_t pieces = 1 + ((flags >> 4) & 3);
    for (std::size_t i = 0; i < pieces; ++i) {
        request.stretches.push_back(std::string_view(text).substr(
            text.size() * i / pieces, text.size() * (i + 1) / pieces - text.size() * i / pieces));
    }
    std::atomic<std::int64_t> chosen{0};
    const SavingsResult result = kestrin::ChooseEntries(request, kestrin::CancelFlag{}, &chosen);
    if (result != kestrin::testing::ModelChoice(request)) {
        Fail("the choice");
    }
    if (chosen.load() != static_cast<std::int64_t>(result.entries.size())) {
        Fail("the count of entries chosen so far");
    }
    if (const std::string fault =
            kestrin::testing::CheckEncoders(request.stretches, TakeEntries(entrySpec, text));
        !fault.empty()) {
        Fail(fault.c_str());
    }
    return 0;
}
