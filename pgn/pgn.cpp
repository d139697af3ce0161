#include "pgn/pgn.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include "board/fen.h"
#include "pgn/san.h"

namespace pgn {

const std::string* Game::tag(const std::string& name) const {
    for (const auto& [key, value] : tags)
        if (key == name) return &value;
    return nullptr;
}

void Game::setTag(const std::string& name, const std::string& value) {
    for (auto& [key, old] : tags)
        if (key == name) {
            old = value;
            return;
        }
    tags.emplace_back(name, value);
}

namespace {

constexpr int EndOfInput = -1;
// Deeper variations than any annotator writes; the replay and the writer recurse.
constexpr std::size_t MaxNesting = 64;

bool isResult(const std::string& s) { return s == "1-0" || s == "0-1" || s == "1/2-1/2" || s == "*"; }

// Annotation glyphs, as suffixes (Nf3?!) or alone, and the common evaluation
// signs, by their NAG.
int glyphNag(const std::string& glyph) {
    static const char* const glyphs[] = {"", "!", "?", "!!", "??", "!?", "?!"};
    for (int i = 1; i <= 6; ++i)
        if (glyph == glyphs[i]) return i;
    static const std::pair<const char*, int> signs[] = {{"=", 10},  {"+=", 14}, {"=+", 15}, {"+/-", 16},
                                                        {"-/+", 17}, {"+-", 18}, {"-+", 19}};
    for (const auto& [sign, nag] : signs)
        if (glyph == sign) return nag;
    return 0;
}

bool symbolChar(int c) { return c >= 0 && (std::isalnum(c) || std::strchr("_+#=:/-.!?", c)) && c != 0; }

}  // namespace

int Reader::get() {
    const int c = in_.get();
    if (c == std::char_traits<char>::eof()) return EndOfInput;
    if (c == '\n') ++line_;
    if (c == 0 && !binary_) {  // no text holds one: whatever comes is no PGN
        binary_ = true;
        binaryLine_ = line_;
    }
    lineStart_ = c == '\n';
    return c;
}

int Reader::peek() {
    const int c = in_.peek();
    return c == std::char_traits<char>::eof() ? EndOfInput : c;
}

void Reader::skipLine() {
    for (int c = get(); c != EndOfInput && c != '\n'; c = get()) {
    }
}

bool Reader::skipSpace() {
    for (;;) {
        const int c = peek();
        if (c == EndOfInput) return false;
        if (c == '%' && lineStart_) {  // an escape line: left for other programs
            skipLine();
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            get();
        } else {
            return true;
        }
    }
}

void Reader::readTag(Game& game, std::string& error) {
    const long line = line_;
    get();  // '['
    auto fail = [&](const char* what) {
        error = "malformed tag at line " + std::to_string(line) + ": " + what;
        if (!lineStart_) skipLine();
    };
    while (peek() == ' ' || peek() == '\t') get();
    std::string name;
    while (peek() != EndOfInput && (std::isalnum(peek()) || peek() == '_')) name += static_cast<char>(get());
    if (name.empty()) return fail("no tag name");
    while (peek() == ' ' || peek() == '\t') get();
    if (peek() != '"') return fail("no quoted value");
    get();
    std::string value;
    for (;;) {
        int c = get();
        if (c == EndOfInput || c == '\n') return fail("the value has no closing quote");
        if (c == '\\' && (peek() == '"' || peek() == '\\')) c = get();
        else if (c == '"') break;
        value += static_cast<char>(c);
    }
    while (peek() == ' ' || peek() == '\t') get();
    if (peek() != ']') return fail("no closing ']'");
    get();
    game.tags.emplace_back(std::move(name), std::move(value));
}

bool Reader::readComment(std::string& text, std::string& error) {
    const long line = line_;
    get();  // '{'
    for (int c = get(); c != '}'; c = get()) {
        if (c == EndOfInput) {
            error = "unterminated comment from line " + std::to_string(line);
            return false;
        }
        text += static_cast<char>(c);
    }
    return true;
}

std::string Reader::readSymbol() {
    std::string symbol;
    while (symbolChar(peek())) symbol += static_cast<char>(get());
    return symbol;
}

void Reader::skipToNextGame() {
    // The rest of a broken tag section, then whatever comes before the next
    // line that starts with a tag.
    bool inTags = true;
    for (;;) {
        if (!lineStart_) skipLine();
        const int c = peek();
        if (c == EndOfInput) return;
        if (c != '[') inTags = false;
        else if (!inTags) return;
        skipLine();
    }
}

Reader::Status Reader::next(Game& game, std::string& message) {
    game = Game{};
    if (!started_) {
        started_ = true;
        if (peek() == 0xEF) {  // a UTF-8 byte-order mark
            get();
            if (get() != 0xBB || get() != 0xBF) {
                binary_ = true;
                message = "line 1: not a PGN text";
                return Status::Error;
            }
            lineStart_ = true;  // the first line starts after it
        }
    }
    if (binary_) return Status::End;

    std::string error;
    std::vector<Line*> lines{&game.main};
    bool inTags = false, moveSeen = false, ended = false;
    bool tagSection = true;  // no movetext yet: an error skips the rest of the tags
    while (!ended && error.empty()) {
        if (!skipSpace() || binary_) break;
        const int c = peek();
        if (!inTags && !moveSeen && game.tags.empty()) game.firstLine = line_;
        Line& line = *lines.back();
        MoveNode* last = line.moves.empty() ? nullptr : &line.moves.back();
        if (c == '[') {
            if (moveSeen) break;  // the next game, this one without its marker
            if (!inTags) game.main.comments.clear();  // text before a game is no part of it
            inTags = true;
            readTag(game, error);
        } else if (c == '{' || c == ';') {
            tagSection = false;
            std::string text;
            if (c == '{') {
                if (!readComment(text, error)) break;
            } else {
                get();
                for (int d = get(); d != EndOfInput && d != '\n'; d = get()) text += static_cast<char>(d);
            }
            (last ? last->comments : line.comments).push_back(std::move(text));
        } else if (c == '(') {
            tagSection = false;
            get();
            if (!last) {
                error = "a variation without a move before it at line " + std::to_string(line_);
                break;
            }
            if (lines.size() > MaxNesting) {
                error = "variations nested too deep at line " + std::to_string(line_);
                break;
            }
            last->variations.emplace_back();
            lines.push_back(&last->variations.back());
        } else if (c == ')') {
            get();
            if (lines.size() == 1) error = "')' without '(' at line " + std::to_string(line_);
            else lines.pop_back();
        } else if (c == '$') {
            get();
            std::string digits;
            while (peek() != EndOfInput && std::isdigit(peek())) digits += static_cast<char>(get());
            if (digits.empty() || digits.size() > 3) error = "a malformed NAG at line " + std::to_string(line_);
            else if (last) last->nags.push_back(std::stoi(digits));
        } else if (c == '*' || symbolChar(c)) {
            tagSection = false;
            std::string symbol = c == '*' ? std::string(1, static_cast<char>(get())) : readSymbol();
            if (isResult(symbol)) {
                // Inside a variation it ends nothing: the game is broken, and
                // the next one starts at the next tag.
                if (lines.size() > 1)
                    error = "the result " + symbol + " inside a variation at line " + std::to_string(line_);
                game.result = symbol;
                ended = lines.size() == 1;
                continue;
            }
            // A move number, perhaps run into its move (1.e4, 12...Nf6).
            std::size_t digits = 0;
            while (digits < symbol.size() && std::isdigit(static_cast<unsigned char>(symbol[digits]))) ++digits;
            if (digits > 0 && (digits == symbol.size() || symbol[digits] == '.')) {
                while (digits < symbol.size() && symbol[digits] == '.') ++digits;
                symbol.erase(0, digits);
                if (symbol.empty()) continue;
            }
            std::size_t glyph = symbol.size();
            while (glyph > 0 && (symbol[glyph - 1] == '!' || symbol[glyph - 1] == '?')) --glyph;
            const int nag = glyph < symbol.size() ? glyphNag(symbol.substr(glyph)) : 0;
            if (glyph == 0 || glyphNag(symbol) > 0) {  // a glyph or sign on its own
                if (last && glyphNag(symbol) > 0) last->nags.push_back(glyphNag(symbol));
                else if (glyphNag(symbol) == 0) error = "'" + symbol + "' at line " + std::to_string(line_);
                continue;
            }
            MoveNode node;
            node.san = symbol.substr(0, glyph);
            if (nag) node.nags.push_back(nag);
            line.moves.push_back(std::move(node));
            moveSeen = true;
        } else {
            get();
            if (c < 0x20 || c == 0x7F) {  // control bytes: no text, so no games further on
                binary_ = true;
                char text[48];
                std::snprintf(text, sizeof text, "byte 0x%02X at line %ld: not a PGN text", c, line_);
                error = text;
            } else {
                char text[32];
                if (c >= 0x20 && c < 0x7F) std::snprintf(text, sizeof text, "'%c'", c);
                else std::snprintf(text, sizeof text, "byte 0x%02X", c);
                error = std::string("unexpected ") + text + " at line " + std::to_string(line_);
            }
        }
    }
    if (binary_ && error.empty()) error = "a NUL byte at line " + std::to_string(binaryLine_) + ": not a PGN text";
    if (error.empty() && lines.size() > 1) error = "unterminated variation before line " + std::to_string(line_);
    if (!error.empty()) {
        message = error;
        if (!binary_) {
            if (!tagSection) inTags = false;
            if (inTags) skipToNextGame();
            else if (!ended) {
                // Skip to the next line that starts with a tag.
                for (;;) {
                    if (!lineStart_) skipLine();
                    if (peek() == EndOfInput || peek() == '[') break;
                    skipLine();
                }
            }
        }
        return Status::Error;
    }
    if (game.tags.empty() && !moveSeen && !ended) return Status::End;  // only text after the last game
    if (!ended) {
        const std::string* tagged = game.tag("Result");
        game.result = tagged && isResult(*tagged) ? *tagged : "*";
    }
    return Status::Game;
}

// --- the board side ---

namespace {

// A Variant tag's name in lower case, without blanks and hyphens.
std::string variantName(const Game& game) {
    const std::string* variant = game.tag("Variant");
    std::string name;
    if (variant)
        for (unsigned char c : *variant)
            if (!std::isspace(c) && c != '-') name += static_cast<char>(std::tolower(c));
    return name;
}

bool isChess960(const std::string& variant) {
    return variant == "chess960" || variant == "fischerandom" || variant == "fischerrandom" || variant == "960";
}

}  // namespace

bool gameStart(const Game& game, Start& start, std::string& error) {
    const std::string* setUp = game.tag("SetUp");
    const std::string* fen = game.tag("FEN");
    start = Start{StandardFen, 1, false, isChess960(variantName(game))};
    if (setUp && *setUp == "0") return true;
    if (!fen) {
        if (!setUp) return true;
        error = "SetUp without a FEN tag";
        return false;
    }
    start.fen = *fen;
    std::istringstream fields(*fen);
    std::string placement, side, castling, ep, halfmoves;
    int number = 1;
    fields >> placement >> side >> castling >> ep >> halfmoves >> number;
    start.blackToMove = side == "b";
    start.moveNumber = fields && number > 0 ? number : 1;
    return true;
}

std::string ReplayError::where() const {
    if (text.empty()) return reason;
    return std::to_string(moveNumber) + (black ? "... " : ". ") + text + " (" + reason + ")";
}

namespace {

struct Replayer {
    Board& board;
    Start start;
    ReplayError& error;

    bool line(Line& line, int ply) {
        for (MoveNode& node : line.moves) {
            if (!node.variations.empty()) {
                const SavedGame before = saveGame(board);
                for (Line& variation : node.variations) {
                    if (!this->line(variation, ply)) return false;
                    restoreGame(board, before);
                }
            }
            const LegalMoves legal = legalMoves(board);
            const SanReading reading = readSan(board.position, node.san, legal);
            if (reading.error != SanError::None) {
                const int fromWhite = ply + (start.blackToMove ? 1 : 0);
                error.ply = ply;
                error.text = node.san;
                error.reason = sanErrorText(reading.error);
                error.moveNumber = start.moveNumber + fromWhite / 2;
                error.black = fromWhite % 2 == 1;
                return false;
            }
            node.move = reading.move;
            node.san = sanText(board, reading.move, legal);
            playLineMove(board, reading.move);
            ++ply;
        }
        return true;
    }
};

}  // namespace

bool replay(Board& b, Game& game, ReplayError& error) {
    error = ReplayError{};
    const std::string name = variantName(game);
    if (name != "standard" && name != "chess" && name != "normal" && !name.empty() && !isChess960(name)) {
        error.reason = "the variant " + *game.tag("Variant") + " is not standard chess";
        return false;
    }
    Replayer replayer{b, Start{}, error};
    if (!gameStart(game, replayer.start, error.reason)) return false;
    std::string why;
    if (!setUpBoard(b, replayer.start.fen, &why, replayer.start.chess960)) {
        error.reason = "a FEN the engine cannot set up (" + why + "): " + replayer.start.fen;
        return false;
    }
    const SavedGame origin = saveGame(b);
    const bool ok = replayer.line(game.main, 0);
    restoreGame(b, origin);
    return ok;
}

// --- export format ---

namespace {

constexpr std::size_t LineWidth = 79;

class Movetext {
public:
    // A word of movetext; a `glued` word takes no space before it.
    void word(std::string w, bool glued = false) {
        w.insert(0, opening_);  // a '(' stays on the line of what it opens
        opening_.clear();
        bool space = length_ > 0 && !glued;
        if (length_ > 0 && length_ + (space ? 1 : 0) + w.size() > LineWidth) {
            text_ += '\n';
            length_ = 0;
            space = false;
        }
        if (space) {
            text_ += ' ';
            ++length_;
        }
        text_ += w;
        length_ += w.size();
    }
    void open() { opening_ += '('; }
    void close() { word(")", true); }
    // A comment broken into words at its spaces; a [%command] stays whole
    // when it closes and fits a line, so that no line grows past the width
    // but for a single longer word.
    void comment(const std::string& text) {
        std::vector<std::string> pieces;
        std::string current;
        for (char c : text) {
            if (c == '}') c = ')';  // a comment to the end of a line may hold one; a brace comment cannot
            if (!std::isspace(static_cast<unsigned char>(c))) {
                current += c;
            } else if (!current.empty()) {
                pieces.push_back(current);
                current.clear();
            }
        }
        if (!current.empty()) pieces.push_back(current);
        std::vector<std::string> words;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            words.push_back(pieces[i]);
            int brackets = bracketDepth(pieces[i], 0);
            std::string group = pieces[i];
            for (std::size_t j = i + 1; brackets > 0 && j < pieces.size() && group.size() + 2 < LineWidth; ++j) {
                group += ' ' + pieces[j];
                brackets = bracketDepth(pieces[j], brackets);
                if (brackets == 0 && group.size() + 2 <= LineWidth) {  // room for the braces
                    words.back() = group;
                    i = j;
                }
            }
        }
        if (words.empty()) words.push_back("");
        words.front().insert(0, "{");
        words.back() += '}';
        for (const std::string& w : words) word(w);
    }
    std::string take() { return text_; }

private:
    // The brackets still open after `piece`, from `open` before it.
    static int bracketDepth(const std::string& piece, int open) {
        for (char c : piece) {
            if (c == '[') ++open;
            if (c == ']' && open > 0) --open;
        }
        return open;
    }

    std::string text_;
    std::size_t length_ = 0;
    std::string opening_;
};

struct Writer {
    Start start;
    Movetext out;

    void line(const Line& line, int ply) {
        for (const std::string& c : line.comments) out.comment(c);
        bool number = true;  // a black move gets its number after any interruption
        for (const MoveNode& node : line.moves) {
            const int fromWhite = ply + (start.blackToMove ? 1 : 0);
            const int moveNumber = start.moveNumber + fromWhite / 2;
            // A move number stays on the line of its move.
            if (fromWhite % 2 == 0) out.word(std::to_string(moveNumber) + ". " + node.san);
            else if (number) out.word(std::to_string(moveNumber) + "... " + node.san);
            else out.word(node.san);
            for (int nag : node.nags) out.word("$" + std::to_string(nag));
            for (const std::string& c : node.comments) out.comment(c);
            for (const Line& variation : node.variations) {
                out.open();
                this->line(variation, ply);
                out.close();
            }
            number = !node.comments.empty() || !node.variations.empty();
            ++ply;
        }
    }
};

std::string tagLine(const std::string& name, const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c == '\n' || c == '\r' ? ' ' : c;
    }
    return "[" + name + " \"" + escaped + "\"]\n";
}

}  // namespace

std::string exportText(const Game& game) {
    static const std::pair<const char*, const char*> roster[] = {
        {"Event", "?"}, {"Site", "?"}, {"Date", "????.??.??"}, {"Round", "?"}, {"White", "?"}, {"Black", "?"},
        {"Result", "*"}};
    std::string text;
    for (const auto& [name, missing] : roster) {
        const std::string* value = game.tag(name);
        text += tagLine(name, value ? *value : std::string(name) == "Result" ? game.result : missing);
    }
    for (const auto& tag : game.tags) {
        if (std::any_of(std::begin(roster), std::end(roster), [&](const auto& r) { return tag.first == r.first; }))
            continue;
        // A FEN of four fields (as EPD writes them) gets its counters: readers want six.
        std::istringstream fields(tag.second);
        std::string field;
        int count = 0;
        while (fields >> field) ++count;
        text += tagLine(tag.first, tag.first == "FEN" && count == 4 ? tag.second + " 0 1" : tag.second);
    }
    Writer writer;
    std::string ignored;
    gameStart(game, writer.start, ignored);
    writer.line(game.main, 0);
    writer.out.word(game.result);
    return text + "\n" + writer.out.take() + "\n\n";
}

}  // namespace pgn
