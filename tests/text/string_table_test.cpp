// The table behind the memory of a run: keys of any bytes, found by their
// bytes whatever their hashes.

#include "text/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace korvane {
namespace {

using namespace std::string_literals;

// Keys that are prefixes of each other, differ only after a zero byte, or
// only in length, and one far longer than the rest.
std::vector<std::string> awkwardKeys()
{
    std::vector<std::string> keys = {""s, "a"s, "a\0"s, "a\0b"s, "a\0c"s, "\0"s, "\0\0"s, "ab"s, "abcdefgh"s,
                                     "abcdefgh\0"s, "abcdefghi"s, std::string(1 << 20, 'x'),
                                     std::string(1 << 20, 'x') + "y"};
    for (int k = 0; k < 500; ++k)
        keys.push_back("D:\\Media\\Folder" + std::to_string(k % 37) + "\\clip" + std::to_string(k) + ".avi");
    return keys;
}

void expectEveryKeyFindsItsValue(StringTable& table)
{
    const std::vector<std::string> keys = awkwardKeys();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const auto [value, added] = table.insert(keys[k], static_cast<std::uint32_t>(k));
        EXPECT_TRUE(added) << k;
        EXPECT_EQ(*value, k);
    }
    EXPECT_EQ(table.size(), keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const std::uint32_t* value = table.find(keys[k]);
        ASSERT_NE(value, nullptr) << k;
        EXPECT_EQ(*value, k) << k;
        const auto [kept, added] = table.insert(keys[k], 99999);
        EXPECT_FALSE(added) << k;
        EXPECT_EQ(*kept, k) << "the first value stays";
    }
    for (const std::string& other : {"b"s, "a\0d"s, "\0\0\0"s, "abcdefghij"s, std::string(1 << 20, 'y'),
                                     "D:\\Media\\Folder1\\clip0.avi"s, "D:\\Media\\Folder0\\clip0.av"s})
        EXPECT_EQ(table.find(other), nullptr) << other;
}

TEST(StringTable, KeysOfAnyBytesAreFoundByTheirBytes)
{
    StringTable table;
    expectEveryKeyFindsItsValue(table);
}

TEST(StringTable, KeysWhoseHashesCollideAreToldApart)
{
    StringTable everyKeyCollides([](std::string_view) { return std::uint32_t{7}; });
    expectEveryKeyFindsItsValue(everyKeyCollides);
    StringTable fewBuckets([](std::string_view key) { return static_cast<std::uint32_t>(key.size() % 3); });
    expectEveryKeyFindsItsValue(fewBuckets);
}

TEST(StringTable, ValuesCanBeChangedWhereTheyAreKept)
{
    StringTable table;
    *table.insert("clip.avi", 1).first = 5;
    EXPECT_EQ(*table.find("clip.avi"), 5u);
}

TEST(StringTable, ClearForgetsEveryKeyAndTheTableFillsAgain)
{
    StringTable table;
    for (std::uint32_t k = 0; k < 10000; ++k)
        table.insert(std::to_string(k), k);
    table.clear();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.find("5"), nullptr);
    EXPECT_EQ(table.find(""), nullptr);
    expectEveryKeyFindsItsValue(table);
}

TEST(StringTable, EqualBytesHashEquallyAndTheHashUsesEveryByte)
{
    const std::string a = "D:\\Media\\Folder0001\\CLIP00.AVI";
    EXPECT_EQ(hashBytes(a), hashBytes(std::string(a)));
    std::vector<std::uint32_t> hashes;
    for (std::size_t k = 0; k < a.size(); ++k) {
        std::string changed = a;
        changed[k] = static_cast<char>(changed[k] ^ 1);
        hashes.push_back(hashBytes(changed));
    }
    hashes.push_back(hashBytes(a));
    hashes.push_back(hashBytes(a + '\0'));
    hashes.push_back(hashBytes(a.substr(0, a.size() - 1)));
    std::sort(hashes.begin(), hashes.end());
    EXPECT_EQ(std::adjacent_find(hashes.begin(), hashes.end()), hashes.end()) << "a change of one bit changes the hash";
}

} // namespace
} // namespace korvane
