#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace korvane {

// A JSON document written straight into a string, on one line and in ASCII:
// no tree is built first, since korvane-scan writes one document for each of
// thousands of projects. A string's bytes are taken as UTF-8, each byte that
// starts no valid character as U+FFFD; every character from DEL on is
// written as \uXXXX (a surrogate pair above U+FFFF), the control characters
// as \b, \t, \n, \f, \r or \u00XX, with lower-case hex digits: the bytes
// nlohmann-json's dump(-1, ' ', true) writes of the same document.
class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The name of the next member of the object open.
    JsonWriter& key(std::string_view name);

    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(const std::string& text) { return value(std::string_view(text)); }
    JsonWriter& value(bool truth);
    template <typename Number>
        requires(std::is_integral_v<Number> && !std::is_same_v<Number, bool>)
    JsonWriter& value(Number number)
    {
        if constexpr (std::is_signed_v<Number>)
            return signedNumber(number);
        else
            return unsignedNumber(number);
    }
    JsonWriter& null();

    // A member: key(name).value(v).
    template <typename Value>
    JsonWriter& field(std::string_view name, const Value& v)
    {
        return key(name).value(v);
    }
    JsonWriter& nullField(std::string_view name) { return key(name).null(); }

    // The document so far; the writer is empty after it.
    std::string take();

private:
    JsonWriter& signedNumber(std::int64_t number);
    JsonWriter& unsignedNumber(std::uint64_t number);
    // Before a value or a key: the comma that separates it from the last.
    void separate();
    void escaped(std::string_view text);

    std::string out_;
    std::vector<bool> empty_; // for each container open: nothing in it yet
    bool afterKey_ = false;
};

} // namespace korvane
