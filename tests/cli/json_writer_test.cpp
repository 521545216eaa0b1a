// The JSON document is written without building a tree first; its bytes
// must be those nlohmann-json's dump(-1, ' ', true) writes of the same
// document, which is what korvane-scan wrote before and what scripts read.

#include "cli/json_writer.h"
#include "text/unicode_text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& json)
{
    return json.dump(-1, ' ', true, Json::error_handler_t::replace);
}

TEST(JsonWriter, WritesEveryStringAsNlohmannDumpsItsValidUtf8)
{
    std::vector<std::string> cases = {"", "plain", "quote \" backslash \\ slash /", "\b\t\n\f\r", "\x01\x1f\x7f",
                                      "Caf\xC3\xA9", "\xE8\xA1\xA8\xE2\x80\xA8", "\xF0\x9F\x8E\xAC",
                                      "Caf\xE9", "\xC8\x0A", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                      std::string("zero\0byte", 9)};
    // Any bytes at all: a writer that differs on one must not pass by luck.
    std::mt19937 random(5);
    for (int k = 0; k < 2000; ++k) {
        std::string bytes(random() % 12, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() % 4 == 0 ? random() % 0x20 : random() % 0x100);
        cases.push_back(bytes);
    }
    for (const std::string& text : cases) {
        JsonWriter json;
        json.value(text);
        EXPECT_EQ(json.take(), dumped(Json(toValidUtf8(text)))) << testing::PrintToString(text);
    }
}

TEST(JsonWriter, NestsObjectsArraysAndScalarsAsNlohmannDumpsThem)
{
    JsonWriter json;
    json.beginObject().field("format", 2).field("generator", "korvane").nullField("damage");
    json.key("empty").beginObject().endObject().key("none").beginArray().endArray();
    json.key("list").beginArray().value(true).value(false).null().value(std::int64_t{-7});
    json.value(std::numeric_limits<std::uint64_t>::max()).beginObject().field("a", "b").endObject();
    json.beginArray().value(0).endArray().endArray();
    json.field("last", std::numeric_limits<std::int64_t>::min()).endObject();

    Json expected;
    expected["format"] = 2;
    expected["generator"] = "korvane";
    expected["damage"] = nullptr;
    expected["empty"] = Json::object();
    expected["none"] = Json::array();
    expected["list"] = Json::array({true, false, nullptr, -7, std::numeric_limits<std::uint64_t>::max(),
                                    Json{{"a", "b"}}, Json::array({0})});
    expected["last"] = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(json.take(), dumped(expected));
}

} // namespace
} // namespace korvane
