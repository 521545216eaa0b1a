#include "cli/json_writer.h"

#include "text/unicode_text.h"

namespace korvane {

namespace {

void appendEscape(std::string& out, unsigned value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xFu];
}

} // namespace

std::string jsonQuote(std::string_view utf8)
{
    std::string out = "\"";
    std::vector<char32_t> characters;
    characters.reserve(utf8.size());
    decodeUtf8(utf8, characters);
    for (const char32_t c : characters) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                appendEscape(out, static_cast<unsigned>(c));
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x10000) {
                appendEscape(out, static_cast<unsigned>(c));
            } else {
                const char32_t v = c - 0x10000;
                appendEscape(out, static_cast<unsigned>(0xD800 + (v >> 10)));
                appendEscape(out, static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
            }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::newLine()
{
    out_ += '\n';
    out_.append(2 * levels_.size(), ' ');
}

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty())
        return;
    if (!levels_.back().empty)
        out_ += ',';
    levels_.back().empty = false;
    newLine();
}

JsonWriter& JsonWriter::open(char bracket)
{
    beforeValue();
    out_ += bracket;
    levels_.push_back({});
    return *this;
}

JsonWriter& JsonWriter::close(char bracket)
{
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty)
        newLine();
    out_ += bracket;
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    beforeValue();
    out_ += jsonQuote(name);
    out_ += ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::literal(std::string_view text)
{
    beforeValue();
    out_ += text;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view utf8)
{
    return literal(jsonQuote(utf8));
}

JsonWriter& JsonWriter::boolean(bool value)
{
    return literal(value ? "true" : "false");
}

JsonWriter& JsonWriter::null()
{
    return literal("null");
}

std::string JsonWriter::finish()
{
    out_ += '\n';
    return std::move(out_);
}

} // namespace korvane
