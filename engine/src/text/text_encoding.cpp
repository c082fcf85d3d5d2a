// SPDX-License-Identifier: MIT
// Reading bytes as characters: whole-text UTF-8 validation that locates the first fault, and the
// character boundaries of valid text. Latin-1 is the trivial case of one character per byte.
// Validation runs over scripts of tens of MiB, so ASCII is skipped eight bytes at a time.

#include "text/text_encoding.h"

#include "text/line_ends.h"

#include <cstring>

namespace kestrin {
namespace {

constexpr std::uint64_t highBits = 0x8080808080808080ULL;

// The bytes of the sequence that a lead byte starts: 1 for ASCII, 0 for a byte that starts none. Unlike
// Utf8CharacterBytes, which steps through text already found valid, it refuses what no valid text holds.
std::size_t SequenceBytes(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2) {
        return 0; // a continuation byte, or C0 and C1, which could only start overlong forms
    }
    if (lead < 0xE0) {
        return 2;
    }
    if (lead < 0xF0) {
        return 3;
    }
    return lead < 0xF5 ? 4 : 0;
}

// The range the second byte must fall in after this lead byte (Unicode's table of well-formed
// sequences), with the fault when it does not.
struct SecondByte {
    unsigned char low;
    unsigned char high;
    Utf8FaultKind belowLow;
    Utf8FaultKind aboveHigh;
};

SecondByte SecondByteRange(unsigned char lead)
{
    switch (lead) {
    case 0xE0:
        return {0xA0, 0xBF, Utf8FaultKind::Overlong, Utf8FaultKind::Truncated};
    case 0xED:
        return {0x80, 0x9F, Utf8FaultKind::Truncated, Utf8FaultKind::Surrogate};
    case 0xF0:
        return {0x90, 0xBF, Utf8FaultKind::Overlong, Utf8FaultKind::Truncated};
    case 0xF4:
        return {0x80, 0x8F, Utf8FaultKind::Truncated, Utf8FaultKind::OutOfRange};
    default:
        return {0x80, 0xBF, Utf8FaultKind::Truncated, Utf8FaultKind::Truncated};
    }
}

TextFault MakeFault(std::string_view text, std::size_t at, std::size_t length, Utf8FaultKind kind)
{
    return {kind, static_cast<std::int64_t>(at), LineOfOffset(text, at),
            std::string(text.substr(at, length))};
}

} // namespace

Utf8Sequence ReadUtf8Sequence(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = SequenceBytes(lead);
    if (length == 0) {
        const auto kind = IsContinuation(lead) ? Utf8FaultKind::StrayContinuation
                          : lead < 0xC2        ? Utf8FaultKind::Overlong
                                               : Utf8FaultKind::OutOfRange;
        return {1, kind};
    }
    const SecondByte range = SecondByteRange(lead);
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size()) {
            return {i, Utf8FaultKind::Truncated};
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!IsContinuation(byte)) {
            return {i, Utf8FaultKind::Truncated};
        }
        if (i == 1 && (byte < range.low || byte > range.high)) {
            // A continuation byte out of the lead's range: the lead and this byte are the fault.
            return {2, byte < range.low ? range.belowLow : range.aboveHigh};
        }
    }
    return {length, std::nullopt};
}

std::optional<TextFault> ValidateText(std::string_view text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Latin1) {
        return std::nullopt;
    }
    std::size_t at = 0;
    while (at < text.size()) {
        // ASCII, the bulk of most scripts, eight bytes at a time.
        while (at + 8 <= text.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, 8);
            if ((word & highBits) != 0) {
                break;
            }
            at += 8;
        }
        if (at >= text.size()) {
            break;
        }
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        // A view rather than substr, which would check `at` again for every character.
        const Utf8Sequence sequence = ReadUtf8Sequence(std::string_view(text.data() + at, text.size() - at));
        if (sequence.fault) {
            return MakeFault(text, at, sequence.bytes, *sequence.fault);
        }
        at += sequence.bytes;
    }
    return std::nullopt;
}

std::int64_t LineOfOffset(std::string_view text, std::size_t offset)
{
    std::int64_t line = 1;
    const std::size_t end = std::min(offset, text.size());
    for (std::size_t at = NextLineEnd(text, 0, end); at < end; at = NextLineEnd(text, at, end)) {
        // A line end counts once it is whole before the offset: the LF of CR LF is on the line it ends.
        at += LineEndBytes(text, at);
        if (at > end) {
            break;
        }
        ++line;
    }
    return line;
}

std::size_t CharacterBytes(std::string_view text, std::size_t at, TextEncoding encoding)
{
    if (at >= text.size()) {
        return 0;
    }
    if (encoding == TextEncoding::Latin1) {
        return 1;
    }
    const std::size_t length = SequenceBytes(static_cast<unsigned char>(text[at]));
    // Invalid text is read a byte at a time rather than never ending.
    return length == 0 ? 1 : std::min(length, text.size() - at);
}

bool IsCharacterStart(std::string_view text, std::size_t at, TextEncoding encoding)
{
    return at >= text.size() || encoding == TextEncoding::Latin1 ||
           !IsContinuation(static_cast<unsigned char>(text[at]));
}

std::int64_t ColumnOfOffset(std::string_view text, std::size_t offset, TextEncoding encoding)
{
    // The line's first character is column 1.
    const std::size_t from = LineStart(text, offset);
    return CountCharacters(text.substr(from, offset - from), encoding) + 1;
}

std::int64_t CountCharacters(std::string_view text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Latin1) {
        return static_cast<std::int64_t>(text.size());
    }
    std::int64_t count = 0;
    for (const char c : text) {
        count += IsContinuation(static_cast<unsigned char>(c)) ? 0 : 1;
    }
    return count;
}

} // namespace kestrin
