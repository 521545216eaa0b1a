#include "cli/json_writer.h"

#include "text/utf8.h"

#include <charconv>
#include <utility>

namespace korvane {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr char32_t kReplacement = 0xFFFD;

void appendU(std::string& out, char32_t unit)
{
    const char escape[6] = {'\\', 'u', kHex[(unit >> 12) & 15], kHex[(unit >> 8) & 15], kHex[(unit >> 4) & 15],
                            kHex[unit & 15]};
    out.append(escape, sizeof escape);
}

} // namespace

void JsonWriter::separate()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back())
            out_ += ',';
        empty_.back() = false;
    }
}

JsonWriter& JsonWriter::beginObject()
{
    separate();
    out_ += '{';
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    out_ += '}';
    empty_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    separate();
    out_ += '[';
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    out_ += ']';
    empty_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    separate();
    escaped(name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text)
{
    separate();
    escaped(text);
    return *this;
}

JsonWriter& JsonWriter::value(bool truth)
{
    separate();
    out_ += truth ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null()
{
    separate();
    out_ += "null";
    return *this;
}

JsonWriter& JsonWriter::signedNumber(std::int64_t number)
{
    separate();
    char digits[24];
    out_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
    return *this;
}

JsonWriter& JsonWriter::unsignedNumber(std::uint64_t number)
{
    separate();
    char digits[24];
    out_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
    return *this;
}

void JsonWriter::escaped(std::string_view text)
{
    out_ += '"';
    for (std::size_t k = 0; k < text.size();) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            out_ += static_cast<char>(byte);
            ++k;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(text, k, c);
        if (length == 0)
            c = kReplacement; // a byte that starts no character
        k += length == 0 ? 1 : length;
        switch (c) {
        case '\b': out_ += "\\b"; break;
        case '\t': out_ += "\\t"; break;
        case '\n': out_ += "\\n"; break;
        case '\f': out_ += "\\f"; break;
        case '\r': out_ += "\\r"; break;
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        default:
            if (c <= 0xFFFF) {
                appendU(out_, c);
            } else {
                appendU(out_, 0xD7C0 + (c >> 10));
                appendU(out_, 0xDC00 + (c & 0x3FF));
            }
        }
    }
    out_ += '"';
}

std::string JsonWriter::take()
{
    empty_.clear();
    afterKey_ = false;
    return std::exchange(out_, std::string());
}

} // namespace korvane
