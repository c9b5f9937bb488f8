#include "maintenance/import_names.h"

#include "catalog/library.h"
#include "catalog/text.h"
#include "tests/support/temp_library.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using testing_support::gbk;

struct NameCase
{
    const char* what;
    std::vector<std::string> tree; // every name of the tree, the asked one included
    std::string name;
    std::optional<std::string> expected; // GBK
};

class ImportNameJudgement : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(ImportNameJudgement, GivesTheGbkNameOrNothing)
{
    maintenance::ImportNames names;
    for (const auto& name : GetParam().tree) {
        names.observe(name);
    }
    const auto got = names.gbkName(GetParam().name);
    EXPECT_EQ(got, GetParam().expected);
    if (got) {
        EXPECT_EQ(catalog::utf8ToGbk(catalog::gbkToUtf8(*got)), *got) << "not GBK";
    }
}

// GBK 猫 眉 茅 伪 邪 are also UTF-8 è ü é α а.
const std::vector<std::string> lookAlikeTree{gbk("猫"), gbk("眉"), gbk("茅"),
                                             gbk("伪"), gbk("邪"), "readme.txt"};
const std::vector<std::string> utf8Tree{"游戏光盘", "音乐光盘", "🎮游戏", "disc 1"};
// A name whose two readings are alike good: UTF-8 "ùちら" is GBK "霉銇°倝".
const std::string tieName = "ùちら";

INSTANTIATE_TEST_SUITE_P(
    Names, ImportNameJudgement,
    ::testing::Values(
        NameCase{"gbk 猫", lookAlikeTree, gbk("猫"), gbk("猫")},
        NameCase{"gbk 眉", lookAlikeTree, gbk("眉"), gbk("眉")},
        NameCase{"gbk 茅", lookAlikeTree, gbk("茅"), gbk("茅")},
        NameCase{"gbk 伪", lookAlikeTree, gbk("伪"), gbk("伪")},
        NameCase{"gbk 邪", lookAlikeTree, gbk("邪"), gbk("邪")},
        NameCase{"gbk 猫 alone", {}, gbk("猫"), gbk("猫")},
        NameCase{"gbk, not utf-8", {gbk("光盘")}, gbk("光盘"), gbk("光盘")},
        NameCase{"utf-8 chinese", utf8Tree, "游戏光盘", gbk("游戏光盘")},
        NameCase{"utf-8 chinese alone", {}, "游戏光盘", gbk("游戏光盘")},
        NameCase{"utf-8 with quotes", {}, "“游戏”光盘", gbk("“游戏”光盘")},
        NameCase{"utf-8 sibling of an emoji", utf8Tree, "音乐光盘", gbk("音乐光盘")},
        NameCase{"emoji", utf8Tree, "🎮游戏", std::nullopt},
        NameCase{"ascii", utf8Tree, "disc 1", "disc 1"},
        NameCase{"invalid both ways", {}, "\xFF\xFE", std::nullopt},
        NameCase{"lone lead byte", {}, "ab\x81", std::nullopt},
        NameCase{"results folder", {}, catalog::ResultsFolderName(), catalog::ResultsFolderName()},
        NameCase{"tie in a gbk tree", {gbk("光盘"), tieName}, tieName, tieName},
        NameCase{"tie in a utf-8 tree", {"游戏光盘", tieName}, tieName, gbk("ùちら")},
        NameCase{"tie alone stays", {tieName}, tieName, tieName}),
    [](const auto& info) { return std::to_string(info.index); });

} // namespace
