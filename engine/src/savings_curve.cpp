// SPDX-License-Identifier: MIT
// The savings curve as an SVG picture: plain text, laid out by hand, so that the engine needs no drawing
// library and a browser shows the file as it is.

#include "kestrin/savings_curve.h"

#include "kestrin/utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrin {
namespace {

constexpr int width = 800;
constexpr int height = 500;
constexpr int left = 90; // the plot's edges, inside the picture
constexpr int right = 770;
constexpr int top = 60;
constexpr int bottom = 430;

// The three lines and their colours, in legend order.
constexpr const char* scriptColour = "#1f5fbf";
constexpr const char* dictionaryColour = "#d9730d";
constexpr const char* sumColour = "#222222";

// Text for an XML text node or attribute: the markup characters escaped, and bytes that are not UTF-8
// replaced, so that the document stays well-formed.
std::string Escaped(std::string_view text)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Sequence sequence = ReadUtf8Sequence(text.substr(at));
        const auto byte = static_cast<unsigned char>(text[at]);
        if (sequence.fault || (sequence.bytes == 1 && byte < 0x20 && byte != '\t')) {
            out += "\xEF\xBF\xBD";
            at += std::max<std::size_t>(1, sequence.bytes);
            continue;
        }
        switch (text[at]) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += text.substr(at, sequence.bytes);
        }
        at += sequence.bytes;
    }
    return out;
}

// A step for about `most` ticks from 0 to `span`: 1, 2 or 5 times a power of ten.
std::int64_t TickStep(std::int64_t span, std::int64_t most)
{
    std::int64_t step = 1;
    while (true) {
        for (const std::int64_t factor : {1, 2, 5}) {
            if (span / (step * factor) < most) {
                return step * factor;
            }
        }
        step *= 10;
    }
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Bytes with a space between thousands, as the axis shows them: "1 048 576".
std::string Grouped(std::int64_t value)
{
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > (value < 0 ? 1 : 0); at -= 3) {
        digits.insert(static_cast<std::size_t>(at), " ");
    }
    return digits;
}

} // namespace

std::string CurveSvg(const std::vector<CurvePoint>& points, std::string_view title)
{
    std::int64_t most = 1;
    std::int64_t entries = 1;
    for (const CurvePoint& p : points) {
        most = std::max(most, p.script + p.dictionary);
        entries = std::max(entries, p.entries);
    }
    const std::int64_t yStep = TickStep(most, 8);
    const std::int64_t yTop = (most + yStep - 1) / yStep * yStep;
    const std::int64_t xStep = TickStep(entries, 10);
    const auto x = [&](std::int64_t k) {
        return left +
               static_cast<double>(right - left) * static_cast<double>(k) / static_cast<double>(entries);
    };
    const auto y = [&](std::int64_t bytes) {
        return bottom -
               static_cast<double>(bottom - top) * static_cast<double>(bytes) / static_cast<double>(yTop);
    };
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
                      std::to_string(width) + " " + std::to_string(height) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + std::to_string(width / 2) + "\" y=\"28\" text-anchor=\"middle\" font-size=\"16\">" +
           Escaped(title) + "</text>\n";
    // The grid and the ticks, then the axes with their labels.
    for (std::int64_t v = 0; v <= yTop; v += yStep) {
        svg += "<line x1=\"" + std::to_string(left) + "\" x2=\"" + std::to_string(right) + "\" y1=\"" +
               Number(y(v)) + "\" y2=\"" + Number(y(v)) + "\" stroke=\"#e4e4e4\"/>\n";
        svg += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + Number(y(v) + 4) +
               "\" text-anchor=\"end\">" + Grouped(v) + "</text>\n";
    }
    for (std::int64_t k = 0; k <= entries; k += xStep) {
        svg += "<line x1=\"" + Number(x(k)) + "\" x2=\"" + Number(x(k)) + "\" y1=\"" +
               std::to_string(bottom) + "\" y2=\"" + std::to_string(bottom + 5) + "\" stroke=\"black\"/>\n";
        svg += "<text x=\"" + Number(x(k)) + "\" y=\"" + std::to_string(bottom + 19) +
               "\" text-anchor=\"middle\">" + std::to_string(k) + "</text>\n";
    }
    svg += "<path d=\"M" + std::to_string(left) + " " + std::to_string(top) + " V" + std::to_string(bottom) +
           " H" + std::to_string(right) + "\" fill=\"none\" stroke=\"black\"/>\n";
    svg += "<text x=\"" + std::to_string((left + right) / 2) + "\" y=\"" + std::to_string(bottom + 40) +
           "\" text-anchor=\"middle\">entries</text>\n";
    svg += "<text x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(top - 12) +
           "\" text-anchor=\"middle\">bytes</text>\n";
    // The three lines.
    // The sum is dashed: with a small dictionary it lies on the script's line.
    const auto line = [&](const char* colour, const char* dashes, auto value) {
        std::string path;
        for (const CurvePoint& p : points) {
            path += (path.empty() ? "M" : " L") + Number(x(p.entries)) + " " + Number(y(value(p)));
        }
        if (!path.empty()) {
            svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\"" +
                   dashes + "/>\n";
        }
    };
    line(scriptColour, "", [](const CurvePoint& p) { return p.script; });
    line(dictionaryColour, "", [](const CurvePoint& p) { return p.dictionary; });
    line(sumColour, " stroke-dasharray=\"6 4\"", [](const CurvePoint& p) { return p.script + p.dictionary; });
    // The exact points of the script, and the smallest sum (the first of equal ones).
    for (const CurvePoint& p : points) {
        if (p.exact) {
            svg += "<circle cx=\"" + Number(x(p.entries)) + "\" cy=\"" + Number(y(p.script)) +
                   "\" r=\"3.5\" fill=\"" + scriptColour + "\"/>\n";
        }
    }
    // The smallest sum among the exact points: the running figure between them runs below the encoded
    // size, so a point of it would often win by its error alone.
    const CurvePoint* smallest = nullptr;
    for (const CurvePoint& p : points) {
        if (p.exact &&
            (smallest == nullptr || p.script + p.dictionary < smallest->script + smallest->dictionary)) {
            smallest = &p;
        }
    }
    if (smallest != nullptr) {
        const std::int64_t sum = smallest->script + smallest->dictionary;
        const double sx = x(smallest->entries);
        const double sy = y(sum);
        svg += "<circle cx=\"" + Number(sx) + "\" cy=\"" + Number(sy) +
               "\" r=\"7\" fill=\"none\" stroke=\"#c00000\" stroke-width=\"2\"/>\n";
        const bool leftOfPoint = sx > (left + right) / 2.0;
        svg += "<text x=\"" + Number(leftOfPoint ? sx - 12 : sx + 12) + "\" y=\"" + Number(sy + 26) +
               "\" text-anchor=\"" + (leftOfPoint ? "end" : "start") +
               "\" fill=\"#c00000\">smallest sum: " + Grouped(sum) + " bytes with " +
               std::to_string(smallest->entries) + " entries</text>\n";
    }
    // The legend, in the plot's upper right corner.
    const int legendX = right - 330;
    const int legendY = top + 10;
    svg += "<rect x=\"" + std::to_string(legendX) + "\" y=\"" + std::to_string(legendY) +
           "\" width=\"320\" height=\"102\" fill=\"white\" stroke=\"#999999\"/>\n";
    const std::pair<const char*, const char*> keys[] = {{scriptColour, "script by longest match"},
                                                        {dictionaryColour, "dictionary, with overhead"},
                                                        {sumColour, "script + dictionary"}};
    int rowY = legendY + 18;
    for (const auto& [colour, name] : keys) {
        svg += "<line x1=\"" + std::to_string(legendX + 10) + "\" x2=\"" + std::to_string(legendX + 40) +
               "\" y1=\"" + std::to_string(rowY - 4) + "\" y2=\"" + std::to_string(rowY - 4) +
               "\" stroke=\"" + colour + "\" stroke-width=\"2\"" +
               (colour == sumColour ? " stroke-dasharray=\"6 4\"" : "") + "/>\n";
        svg += "<text x=\"" + std::to_string(legendX + 48) + "\" y=\"" + std::to_string(rowY) + "\">" + name +
               "</text>\n";
        rowY += 18;
    }
    svg += "<circle cx=\"" + std::to_string(legendX + 25) + "\" cy=\"" + std::to_string(rowY - 4) +
           "\" r=\"3.5\" fill=\"" + scriptColour + "\"/>\n";
    svg += "<text x=\"" + std::to_string(legendX + 48) + "\" y=\"" + std::to_string(rowY) +
           "\">exact: the script encoded with so many entries</text>\n";
    svg += "<text x=\"" + std::to_string(legendX + 48) + "\" y=\"" + std::to_string(rowY + 18) +
           "\">between them: the choice's own count</text>\n";
    svg += "</svg>\n";
    return svg;
}

} // namespace kestrin
