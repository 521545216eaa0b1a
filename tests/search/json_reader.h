#pragma once

#include "text/utf8.h"

// A strict little JSON reader for checking documents the search writes:
// RFC 8259 grammar, integers only for numbers (all the documents hold),
// \u escapes decoded to UTF-8 (surrogate pairs joined; a lone surrogate is
// an error). Throws std::runtime_error on anything else.

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace korvane::testkit {

struct JsonValue;
using JsonObject = std::map<std::string, JsonValue, std::less<>>;
using JsonArray = std::vector<JsonValue>;

struct JsonValue {
    std::variant<std::nullptr_t, bool, std::int64_t, std::string, JsonArray, JsonObject> value;

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(value); }
    bool isBool() const { return std::holds_alternative<bool>(value); }
    bool isNumber() const { return std::holds_alternative<std::int64_t>(value); }
    bool isString() const { return std::holds_alternative<std::string>(value); }
    bool isArray() const { return std::holds_alternative<JsonArray>(value); }
    bool isObject() const { return std::holds_alternative<JsonObject>(value); }

    bool boolean() const { return std::get<bool>(value); }
    std::int64_t number() const { return std::get<std::int64_t>(value); }
    const std::string& string() const { return std::get<std::string>(value); }
    const JsonArray& array() const { return std::get<JsonArray>(value); }
    const JsonObject& object() const { return std::get<JsonObject>(value); }

    // The member `key` of an object; throws when there is none.
    const JsonValue& operator[](std::string_view key) const
    {
        const JsonObject& members = object();
        const auto it = members.find(key);
        if (it == members.end())
            throw std::runtime_error("no member " + std::string(key));
        return it->second;
    }
    const JsonValue& operator[](std::size_t k) const { return array().at(k); }
    bool has(std::string_view key) const { return object().find(key) != object().end(); }
};

class JsonReader {
public:
    static JsonValue parse(std::string_view text)
    {
        JsonReader reader(text);
        JsonValue value = reader.readValue(0);
        reader.skipBlanks();
        if (reader.at_ != text.size())
            reader.fail("text after the document");
        return value;
    }

private:
    explicit JsonReader(std::string_view text) : text_(text) {}

    [[noreturn]] void fail(const std::string& why) const
    {
        throw std::runtime_error("JSON at " + std::to_string(at_) + ": " + why);
    }

    void skipBlanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    char peek()
    {
        skipBlanks();
        if (at_ >= text_.size())
            fail("unexpected end");
        return text_[at_];
    }

    void expect(char c)
    {
        if (peek() != c)
            fail(std::string("expected ") + c);
        ++at_;
    }

    bool literal(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }

    JsonValue readValue(int depth)
    {
        if (depth > 64)
            fail("nested too deeply");
        const char c = peek();
        if (c == '{')
            return readObject(depth);
        if (c == '[')
            return readArray(depth);
        if (c == '"')
            return {readString()};
        if (literal("true"))
            return {true};
        if (literal("false"))
            return {false};
        if (literal("null"))
            return {nullptr};
        return {readInteger()};
    }

    JsonValue readObject(int depth)
    {
        expect('{');
        JsonObject members;
        if (peek() == '}') {
            ++at_;
            return {std::move(members)};
        }
        for (;;) {
            if (peek() != '"')
                fail("expected a key");
            std::string key = readString();
            expect(':');
            if (!members.emplace(key, readValue(depth + 1)).second)
                fail("key " + key + " twice");
            if (peek() == ',') {
                ++at_;
                continue;
            }
            expect('}');
            return {std::move(members)};
        }
    }

    JsonValue readArray(int depth)
    {
        expect('[');
        JsonArray items;
        if (peek() == ']') {
            ++at_;
            return {std::move(items)};
        }
        for (;;) {
            items.push_back(readValue(depth + 1));
            if (peek() == ',') {
                ++at_;
                continue;
            }
            expect(']');
            return {std::move(items)};
        }
    }

    std::int64_t readInteger()
    {
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-')
            ++at_;
        if (at_ >= text_.size() || text_[at_] < '0' || text_[at_] > '9')
            fail("expected a value");
        if (text_[at_] == '0' && at_ + 1 < text_.size() && text_[at_ + 1] >= '0' && text_[at_ + 1] <= '9')
            fail("leading zero");
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
            ++at_;
        if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E'))
            fail("only integers are expected");
        return std::stoll(std::string(text_.substr(start, at_ - start)));
    }

    unsigned readHex4()
    {
        if (text_.size() - at_ < 4)
            fail("short \\u escape");
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text_[at_++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<unsigned>(c - 'A' + 10);
            else
                fail("bad hex digit");
        }
        return v;
    }

    std::string readString()
    {
        expect('"');
        std::string out;
        for (;;) {
            if (at_ >= text_.size())
                fail("unterminated string");
            const char c = text_[at_++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("raw control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size())
                fail("unterminated escape");
            const char e = text_[at_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                char32_t v = readHex4();
                if (v >= 0xDC00 && v <= 0xDFFF)
                    fail("lone low surrogate");
                if (v >= 0xD800 && v <= 0xDBFF) {
                    if (!literal("\\u"))
                        fail("lone high surrogate");
                    const char32_t low = readHex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        fail("high surrogate without a low one");
                    v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, v);
                break;
            }
            default:
                fail("unknown escape");
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace korvane::testkit
