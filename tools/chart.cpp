#include "tools/chart.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

constexpr double Width = 800, Height = 380;
constexpr double Left = 52, Right = 24, Top = 58, Bottom = 44;
constexpr double Clamp = 5;  // pawns: one blunder must not flatten the rest

const char* const severityColours[] = {"", "#e0b000", "#e07000", "#d01010"};

// The characters of `text` read as UTF-8; false for a text that is not
// (a stray byte, an overlong form, a surrogate, past U+10FFFF).
bool readUtf8(const std::string& text, std::u32string& out) {
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char lead = text[at];
        const int more = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
                       : lead >= 0xF0 && lead < 0xF5 ? 3 : -1;
        if (more < 0 || at + more >= text.size()) return false;
        char32_t c = more == 0 ? lead : lead & (0x3F >> more);
        for (int i = 1; i <= more; ++i) {
            const unsigned char next = text[at + i];
            if ((next & 0xC0) != 0x80) return false;
            c = c << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[more] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) return false;
        out += c;
        at += 1 + more;
    }
    return true;
}

// A tag's text as UTF-8: text that is not valid UTF-8 is Latin-1, the PGN
// standard's character set. Control characters go, as do U+FFFE and U+FFFF,
// which XML refuses.
std::string utf8Text(const std::string& text) {
    std::u32string characters;
    if (!readUtf8(text, characters)) {
        characters.clear();
        for (unsigned char byte : text) characters += byte;  // Latin-1: each byte its character
    }
    std::string out;
    for (char32_t c : characters) {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xFFFE || c == 0xFFFF) continue;
        const int more = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        const unsigned char leads[] = {0x00, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(leads[more] | c >> (6 * more));
        for (int i = more - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
    }
    return out;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

}  // namespace

std::string chartSvg(const ChartData& data) {
    const double plotWidth = Width - Left - Right, plotHeight = Height - Top - Bottom;
    const double axis = Top + plotHeight / 2;
    const int plies = std::max(data.plies, 1);
    const auto x = [&](int ply) { return Left + plotWidth * ply / plies; };
    const auto y = [&](double pawns) { return axis - std::clamp(pawns, -Clamp, Clamp) / Clamp * plotHeight / 2; };

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"380\" viewBox=\"0 0 800 380\" "
                      "font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\">\n";
    svg += "<rect width=\"800\" height=\"380\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"400\" y=\"24\" text-anchor=\"middle\" font-size=\"17\" font-weight=\"bold\">" +
           escaped(utf8Text(data.white) + " \u2013 " + utf8Text(data.black) + "   " + data.result) + "</text>\n";
    svg += "<text x=\"400\" y=\"43\" text-anchor=\"middle\" font-size=\"12\" fill=\"#555555\">" +
           escaped("Evaluation in pawns, White's view (" + data.annotator + ")") + "</text>\n";
    svg += "<defs><clipPath id=\"above\"><rect x=\"" + number(Left) + "\" y=\"" + number(Top) + "\" width=\"" +
           number(plotWidth) + "\" height=\"" + number(plotHeight / 2) + "\"/></clipPath>";
    svg += "<clipPath id=\"below\"><rect x=\"" + number(Left) + "\" y=\"" + number(axis) + "\" width=\"" +
           number(plotWidth) + "\" height=\"" + number(plotHeight / 2) + "\"/></clipPath></defs>\n";
    svg += "<rect x=\"" + number(Left) + "\" y=\"" + number(Top) + "\" width=\"" + number(plotWidth) + "\" height=\"" +
           number(plotHeight) + "\" fill=\"#b8b8b8\"/>\n";

    // Grid lines and their labels every pawn or two.
    for (int pawns = -4; pawns <= 4; pawns += 2) {
        const std::string level = number(y(pawns));
        if (pawns != 0)
            svg += "<line x1=\"" + number(Left) + "\" y1=\"" + level + "\" x2=\"" + number(Left + plotWidth) +
                   "\" y2=\"" + level + "\" stroke=\"#9a9a9a\" stroke-width=\"1\"/>\n";
        svg += "<text x=\"" + number(Left - 6) + "\" y=\"" + number(y(pawns) + 4) +
               "\" text-anchor=\"end\" font-size=\"11\">" + (pawns > 0 ? "+" : "") + std::to_string(pawns) +
               "</text>\n";
    }

    if (!data.points.empty()) {
        std::string curve;
        for (const ChartPoint& p : data.points) curve += number(x(p.ply)) + "," + number(y(p.pawns)) + " ";
        const std::string area = number(x(data.points.front().ply)) + "," + number(axis) + " " + curve +
                                 number(x(data.points.back().ply)) + "," + number(axis);
        svg += "<polygon points=\"" + area + "\" fill=\"#ffffff\" clip-path=\"url(#above)\"/>\n";
        svg += "<polygon points=\"" + area + "\" fill=\"#2a2a2a\" clip-path=\"url(#below)\"/>\n";
        svg += "<polyline points=\"" + curve + "\" fill=\"none\" stroke=\"#2a6fd6\" stroke-width=\"2\"/>\n";
    }
    svg += "<line x1=\"" + number(Left) + "\" y1=\"" + number(axis) + "\" x2=\"" + number(Left + plotWidth) +
           "\" y2=\"" + number(axis) + "\" stroke=\"#707070\" stroke-width=\"1\"/>\n";

    // Move numbers: a tick where White's move N starts, every few moves.
    const int moves = (plies + 1) / 2 + 1;
    int step = 1;
    for (int s : {1, 2, 5, 10, 20, 50, 100})
        if (moves / s <= 16) {
            step = s;
            break;
        }
    for (int move = data.firstMoveNumber; ; ++move) {
        const int ply = 2 * (move - data.firstMoveNumber) - (data.blackStarts ? 1 : 0);
        if (ply > plies) break;
        if (ply < 0 || move % step != 0) continue;
        const std::string at = number(x(ply));
        svg += "<line x1=\"" + at + "\" y1=\"" + number(Top + plotHeight) + "\" x2=\"" + at + "\" y2=\"" +
               number(Top + plotHeight + 5) + "\" stroke=\"#404040\"/>\n";
        svg += "<text x=\"" + at + "\" y=\"" + number(Top + plotHeight + 18) +
               "\" text-anchor=\"middle\" font-size=\"11\">" + std::to_string(move) + "</text>\n";
    }
    svg += "<text x=\"" + number(Left + plotWidth / 2) + "\" y=\"" + number(Height - 6) +
           "\" text-anchor=\"middle\" font-size=\"11\" fill=\"#555555\">move</text>\n";

    for (const ChartMark& mark : data.marks) {
        const auto point = std::find_if(data.points.begin(), data.points.end(),
                                        [&](const ChartPoint& p) { return p.ply == mark.ply; });
        const double pawns = point == data.points.end() ? 0 : point->pawns;
        const double cx = x(mark.ply), cy = y(pawns);
        const char* colour = severityColours[std::clamp(mark.severity, 1, 3)];
        svg += "<circle cx=\"" + number(cx) + "\" cy=\"" + number(cy) + "\" r=\"5\" fill=\"" + colour +
               "\" stroke=\"#000000\" stroke-width=\"1\"/>\n";
        // The label goes where the curve is not: above a point below the axis.
        const double labelY = pawns < 0 ? std::max(cy - 10, Top + 11) : std::min(cy + 18, Top + plotHeight - 4);
        const std::string anchor = cx > Left + plotWidth - 40 ? "end" : cx < Left + 40 ? "start" : "middle";
        svg += "<text x=\"" + number(cx) + "\" y=\"" + number(labelY) + "\" text-anchor=\"" + anchor +
               "\" font-size=\"12\" font-weight=\"bold\" fill=\"#202020\" stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\">" + escaped(mark.label) +
               "</text>\n";
    }
    svg += "</svg>\n";
    return svg;
}

std::string chartFileName(long gameNumber, const std::string& white, const std::string& black) {
    const auto reduced = [](const std::string& name) {
        std::string out;
        for (unsigned char c : name) {
            if (std::isalnum(c) || c == '-' || c == '_') out += static_cast<char>(c);
            else if (!out.empty() && out.back() != '_') out += '_';
        }
        while (!out.empty() && out.back() == '_') out.pop_back();
        return out.empty() ? std::string("unknown") : out;
    };
    return std::to_string(gameNumber) + "-" + reduced(white) + "-" + reduced(black) + ".svg";
}
