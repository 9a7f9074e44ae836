#include "qvzsim/scpi_parser.h"

#include <charconv>
#include <climits>
#include <cmath>

#include "qvzsim/error_queue.h"

namespace qvzsim {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsMnemonicChar(char c) {
    return IsLetter(c) || IsDigit(c) || c == '_';
}

char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Parses decimal numeric program data: [+|-]digits[.digits][E[+|-]digits].
// std::from_chars takes no leading '+', so it is skipped here.
bool ParseNumber(std::string_view token, double& value) {
    if (token.empty()) {
        return false;
    }
    std::string_view body = token;
    if (body.front() == '+') {
        body.remove_prefix(1);
        if (body.empty() || body.front() == '-' || body.front() == '+') {
            return false;
        }
    }
    const char* first = body.data();
    const char* last = body.data() + body.size();
    // from_chars would also take "inf" and "nan", which are character data.
    if (!(IsDigit(*first) || *first == '.' || *first == '-')) {
        return false;
    }
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == last && std::isfinite(value);
}

// A number written together with its suffix, "1GHZ": the longest leading
// number, then letters only.
bool ParseNumberWithSuffix(std::string_view token, Parameter& parameter) {
    std::size_t split = token.size();
    while (split > 0 && IsLetter(token[split - 1])) {
        --split;
    }
    if (split == 0 || split == token.size() ||
        !ParseNumber(token.substr(0, split), parameter.number)) {
        return false;
    }
    parameter.kind = Parameter::Kind::kNumber;
    for (char c : token.substr(split)) {
        parameter.suffix.push_back(ToUpper(c));
    }
    return true;
}

bool IsCharacterData(std::string_view token) {
    if (token.empty() || !IsLetter(token.front())) {
        return false;
    }
    for (char c : token) {
        if (!IsMnemonicChar(c)) {
            return false;
        }
    }
    return true;
}

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    void Advance() { ++pos_; }
    std::size_t Pos() const { return pos_; }
    std::string_view Slice(std::size_t from, std::size_t to) const {
        return text_.substr(from, to - from);
    }
    void SkipSpaces() {
        while (!AtEnd() && IsSpace(text_[pos_])) {
            ++pos_;
        }
    }
    // End of a command: the end of the message or the ';' before the next.
    bool AtCommandEnd() const { return AtEnd() || Peek() == ';'; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Reads one header node: a mnemonic starting with a letter; trailing digits
// are its numeric suffix.
bool ParseNode(Cursor& cursor, HeaderNode& node) {
    if (!IsLetter(cursor.Peek())) {
        return false;
    }
    std::size_t start = cursor.Pos();
    while (IsMnemonicChar(cursor.Peek())) {
        cursor.Advance();
    }
    std::string_view word = cursor.Slice(start, cursor.Pos());
    std::size_t digits = 0;
    while (digits < word.size() && IsDigit(word[word.size() - 1 - digits])) {
        ++digits;
    }
    std::string_view name = word.substr(0, word.size() - digits);
    node.mnemonic.clear();
    node.mnemonic.reserve(name.size());
    for (char c : name) {
        node.mnemonic.push_back(ToUpper(c));
    }
    node.hasSuffix = digits > 0;
    node.suffix = 1;
    if (node.hasSuffix) {
        // A suffix too long for an int is out of range whatever the node.
        long long value = 0;
        for (char c : word.substr(word.size() - digits)) {
            value = value * 10 + (c - '0');
            if (value > INT_MAX) {
                value = INT_MAX;
                break;
            }
        }
        node.suffix = static_cast<int>(value);
    }
    return true;
}

bool ParseHeaderPart(Cursor& cursor, ScpiCommand& command) {
    if (cursor.Peek() == '*') {
        cursor.Advance();
        command.common = true;
        std::size_t start = cursor.Pos();
        while (IsLetter(cursor.Peek())) {
            cursor.Advance();
        }
        if (cursor.Pos() == start) {
            return false;
        }
        HeaderNode node;
        for (char c : cursor.Slice(start, cursor.Pos())) {
            node.mnemonic.push_back(ToUpper(c));
        }
        command.nodes.push_back(std::move(node));
    } else {
        if (cursor.Peek() == ':') {
            command.rooted = true;
            cursor.Advance();
        }
        for (;;) {
            HeaderNode node;
            if (!ParseNode(cursor, node)) {
                return false;
            }
            command.nodes.push_back(std::move(node));
            if (cursor.Peek() != ':') {
                break;
            }
            cursor.Advance();
        }
    }
    if (cursor.Peek() == '?') {
        command.query = true;
        cursor.Advance();
    }
    return true;
}

bool ParseStringParameter(Cursor& cursor, Parameter& parameter) {
    const char quote = cursor.Peek();
    cursor.Advance();
    parameter.kind = Parameter::Kind::kString;
    for (;;) {
        if (cursor.AtEnd()) {
            return false;  // unterminated
        }
        char c = cursor.Peek();
        cursor.Advance();
        if (c == quote) {
            if (cursor.Peek() == quote) {  // a doubled quote stands for one
                parameter.text.push_back(quote);
                cursor.Advance();
                continue;
            }
            return true;
        }
        parameter.text.push_back(c);
    }
}

bool ParseParameter(Cursor& cursor, Parameter& parameter) {
    char c = cursor.Peek();
    if (c == '"' || c == '\'') {
        return ParseStringParameter(cursor, parameter);
    }
    std::size_t start = cursor.Pos();
    while (!cursor.AtEnd()) {
        c = cursor.Peek();
        if (IsSpace(c) || c == ',' || c == ';') {
            break;
        }
        cursor.Advance();
    }
    std::string_view token = cursor.Slice(start, cursor.Pos());
    parameter.text = std::string(token);
    if (ParseNumber(token, parameter.number)) {
        parameter.kind = Parameter::Kind::kNumber;
        return true;
    }
    if (ParseNumberWithSuffix(token, parameter)) {
        return true;
    }
    if (IsCharacterData(token)) {
        parameter.kind = Parameter::Kind::kCharacter;
        return true;
    }
    return false;
}

bool ParseParameters(Cursor& cursor, ScpiCommand& command) {
    for (;;) {
        cursor.SkipSpaces();
        if (cursor.AtCommandEnd()) {
            return false;  // a ',' with nothing after it
        }
        Parameter parameter;
        if (!ParseParameter(cursor, parameter)) {
            return false;
        }
        cursor.SkipSpaces();
        // A suffix may stand apart from its number: "1 GHz".
        if (parameter.kind == Parameter::Kind::kNumber && parameter.suffix.empty() &&
            IsLetter(cursor.Peek())) {
            while (IsLetter(cursor.Peek())) {
                parameter.suffix.push_back(ToUpper(cursor.Peek()));
                cursor.Advance();
            }
            cursor.SkipSpaces();
        }
        command.params.push_back(std::move(parameter));
        if (cursor.AtCommandEnd()) {
            return true;
        }
        if (cursor.Peek() != ',') {
            return false;
        }
        cursor.Advance();
    }
}

// One command up to (not including) its ';' or the end of the message.
bool ParseCommand(Cursor& cursor, ScpiCommand& command) {
    std::size_t start = cursor.Pos();
    bool ok = ParseHeaderPart(cursor, command);
    if (ok && !cursor.AtCommandEnd()) {
        // The header must be followed by white space before parameters.
        if (!IsSpace(cursor.Peek())) {
            ok = false;
        } else {
            cursor.SkipSpaces();
            if (!cursor.AtCommandEnd()) {
                ok = ParseParameters(cursor, command);
            }
        }
    }
    std::string_view text = cursor.Slice(start, cursor.Pos());
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    command.text = std::string(text);
    return ok;
}

}  // namespace

ParsedMessage ParseProgramMessage(std::string_view message) {
    ParsedMessage parsed;
    Cursor cursor(message);
    for (;;) {
        cursor.SkipSpaces();
        if (cursor.AtEnd()) {
            break;
        }
        if (cursor.Peek() == ';') {  // empty command: tolerated
            cursor.Advance();
            continue;
        }
        ScpiCommand command;
        if (!ParseCommand(cursor, command)) {
            parsed.errorCode = errors::kSyntaxError;
            break;
        }
        parsed.commands.push_back(std::move(command));
    }
    return parsed;
}

bool ParseHeader(std::string_view text, ScpiCommand& out) {
    ParsedMessage parsed = ParseProgramMessage(text);
    if (parsed.errorCode != 0 || parsed.commands.size() != 1 ||
        !parsed.commands[0].params.empty()) {
        return false;
    }
    out = std::move(parsed.commands[0]);
    return true;
}

std::string QuoteString(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.push_back('"');
    for (char c : text) {
        if (c == '"') {
            quoted.push_back('"');
        }
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

}  // namespace qvzsim
