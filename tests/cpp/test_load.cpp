#include "score/load.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "qs_load_XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string write(const std::string& name, const std::string& content) {
        fs::path p = dir_ / name;
        std::ofstream f(p, std::ios::binary);
        f << content;
        return p.string();
    }
    fs::path dir_;
};

const char SUS_TITLE[] = "#TITLE x\n";

TEST_F(LoadTest, ExtensionDecidesFirst) {
    struct Case {
        const char* name;
        std::string content;
        bool ok;
        const char* title_or_error;
    } cases[] = {
        // A JSON extension in any case reads JSON, whatever the content.
        {"chart.json", SUS_TITLE, false, "expected value at line 1 column 1"},
        {"a.JSON", SUS_TITLE, false, "expected value at line 1 column 1"},
        {"b.Json", "{\"title\":\"j\"}", true, "j"},
        // ".json" alone is a name without extension: content decides.
        {".json", SUS_TITLE, true, "x"},
        {"c.json.sus", SUS_TITLE, true, "x"},
        // Otherwise text that starts (after white space) with { or [ is JSON.
        {"d.sus", " \r\n\t {\"title\":\"k\"}", true, "k"},
        {"noext", "{\"title\":\"m\"}", true, "m"},
        {"e.sus", "[1]", false, "expected a JSON object"},
        {"f.txt", SUS_TITLE, true, "x"},
        {"g.", SUS_TITLE, true, "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = qs::open_score(write(c.name, c.content));
        ASSERT_EQ(r.ok(), c.ok) << (r.ok() ? "" : r.error().text());
        if (c.ok) {
            EXPECT_EQ(r.value().meta.title, c.title_or_error);
        } else {
            EXPECT_EQ(r.error().os_error, 0);
            EXPECT_EQ(r.error().text(), c.title_or_error);
        }
    }
}

TEST_F(LoadTest, ByteOrderMarkIsNotWhiteSpace) {
    const std::string bom = "\xEF\xBB\xBF";
    // Under a .sus name the first line is a comment, so no title.
    auto r = qs::open_score(write("bom.sus", bom + "#TITLE x\n#ARTIST y\n"));
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r.value().meta.title.has_value());
    EXPECT_EQ(r.value().meta.artist, "y");
    // BOM before JSON text: not recognised as JSON, read as SUS (an empty chart).
    r = qs::open_score(write("bom2.sus", bom + "{\"title\":\"j\"}"));
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r.value().meta.title.has_value());
    // Under a .json name the JSON reader sees the mark.
    r = qs::open_score(write("bom.json", bom + "{}"));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text(), "expected value at line 1 column 1");
}

TEST_F(LoadTest, ForcedReaders) {
    std::string json_path = write("forced.json", "{\"title\":\"j\"}");
    std::string sus_path = write("forced.sus", SUS_TITLE);
    auto sus = qs::open_sus_file(json_path);
    ASSERT_TRUE(sus.ok());
    EXPECT_FALSE(sus.value().meta.title.has_value());
    auto json = qs::open_json_file(sus_path);
    ASSERT_FALSE(json.ok());
    EXPECT_EQ(json.error().text(), "expected value at line 1 column 1");
    json = qs::open_json_file(json_path);
    ASSERT_TRUE(json.ok());
    EXPECT_EQ(json.value().meta.title, "j");
    sus = qs::open_sus_file(sus_path);
    ASSERT_TRUE(sus.ok());
    EXPECT_EQ(sus.value().meta.title, "x");
}

TEST_F(LoadTest, ReadFailures) {
    const std::string missing = (dir_ / "missing.sus").string();
    const std::string bad_utf8 = write("bad.sus", "#TITLE \xC3\x28\n");
    const std::string with_nul = std::string("a\0b.sus", 7);
    struct Case {
        std::string path;
        int os_error;
        std::string text;
    } cases[] = {
        {missing, 2, "No such file or directory (os error 2)"},
        {dir_.string(), 21, "Is a directory (os error 21)"},
        {bad_utf8, 0, "stream did not contain valid UTF-8"},
        {with_nul, 0, "file name contained an unexpected NUL byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        for (auto open : {qs::open_score, qs::open_sus_file, qs::open_json_file}) {
            auto r = open(c.path);
            ASSERT_FALSE(r.ok());
            EXPECT_EQ(r.error().os_error, c.os_error);
            EXPECT_EQ(r.error().text(), c.text);
        }
        auto raw = qs::read_text_file(c.path);
        ASSERT_FALSE(raw.ok());
        EXPECT_EQ(raw.error().text(), c.text);
    }
}

TEST_F(LoadTest, ReadTextFileKeepsEverything) {
    const std::string content = "\xEF\xBB\xBF#TITLE \xE6\x9B\xB2\r\n\r\nend";
    auto r = qs::read_text_file(write("keep.sus", content));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value(), content);
    auto empty = qs::read_text_file(write("empty.sus", ""));
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.value(), "");
    auto chart = qs::open_score(write("empty2.sus", ""));
    ASSERT_TRUE(chart.ok());
    EXPECT_TRUE(chart.value().notes.empty());
}

TEST(LooksLikeJson, FirstCharacterAfterWhiteSpace) {
    struct Case {
        const char* text;
        bool json;
    } cases[] = {
        {"", false},        {"   \n\t", false},        {"{", true},
        {"[", true},        {" \r\n {}", true},         {"\xE3\x80\x80[1]", true},  // ideographic space
        {"x{", false},      {"\xEF\xBB\xBF{}", false}, {"#TITLE {", false},
    };
    for (const auto& c : cases) EXPECT_EQ(qs::looks_like_json(c.text), c.json) << c.text;
}

TEST(LoadScoreText, PicksReader) {
    auto r = qs::load_score_text("\n{\"title\":\"t\"}");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value().meta.title, "t");
    r = qs::load_score_text("{");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "EOF while parsing an object at line 1 column 1");
    r = qs::load_score_text(SUS_TITLE);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value().meta.title, "x");
    r = qs::load_score_text("not a chart at all");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.value().notes.empty());
}

TEST(LoadErrorText, Forms) {
    EXPECT_EQ((qs::LoadError{2, "No such file or directory"}).text(), "No such file or directory (os error 2)");
    EXPECT_EQ((qs::LoadError{0, "plain"}).text(), "plain");
}

}  // namespace
