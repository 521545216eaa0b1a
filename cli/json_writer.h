#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace korvane {

// Writes one JSON document, indented by two spaces a level. Strings are
// taken as UTF-8: quotes, backslashes and control characters are escaped,
// every character past ASCII is written as \uXXXX (a surrogate pair above
// U+FFFF), and a byte that starts no valid character is written as U+FFFD,
// so the document is ASCII and valid whatever bytes it is given. Calls
// must nest properly (a key before each value in an object); the writer
// does not check.
class JsonWriter {
public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }

    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view utf8);
    JsonWriter& boolean(bool value);
    JsonWriter& null();
    template <class T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
    JsonWriter& number(T value)
    {
        if constexpr (std::is_signed_v<T>)
            return literal(std::to_string(static_cast<std::int64_t>(value)));
        else
            return literal(std::to_string(static_cast<std::uint64_t>(value)));
    }

    // The document, ended by a line end.
    std::string finish();

private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    JsonWriter& literal(std::string_view text);
    void beforeValue();
    void newLine();

    struct Level {
        bool empty = true;
    };
    std::string out_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

// `utf8` as a quoted JSON string, escaped as JsonWriter escapes it.
std::string jsonQuote(std::string_view utf8);

} // namespace korvane
