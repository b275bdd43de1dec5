// Latin-1 and UTF-8 (platform/latin1.h), the one module that converts and checks them for
// the game's shells, the highscore dialog and the portal: each text in one table, read by
// every function of the module.
#include "platform/latin1.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

TEST(Latin1, EachTextReadsAlikeEverywhere) {
    using Form = Utf8Char::Form;
    constexpr auto none = std::nullopt;
    struct Row {
        std::string utf8;
        std::string shells;                // utf8ToLatin1: '?' for what Latin-1 cannot hold
        std::optional<std::string> strict; // strictLatin1: refused
        std::optional<std::size_t> length; // utf8Length: not well-formed
        Form first;                        // readUtf8 of the first character
    };
    const std::vector<Row> rows = {
        {"Pingel", "Pingel", "Pingel", 6, Form::WellFormed},
        {"\xC3\xA4vling", "\xE4vling", "\xE4vling", 6, Form::WellFormed},                  // ä
        {"\xC3\x85\xC3\x84\xC3\x96", "\xC5\xC4\xD6", "\xC5\xC4\xD6", 3, Form::WellFormed}, // ÅÄÖ
        {"\xC3\xBF\xC2\x80", "\xFF\x80", "\xFF\x80", 2, Form::WellFormed}, // the ends of Latin-1
        {"\xC4\x80", "?", none, 1, Form::WellFormed},                      // just beyond it
        {"\xE2\x82\xAC", "?", none, 1, Form::WellFormed},                  // the euro sign
        {"\xF0\x9F\x90\xA7z", "?z", none, 2, Form::WellFormed},            // a penguin
        {"\xED\x9F\xBF", "?", none, 1, Form::WellFormed},                  // below the surrogates
        {"\xF4\x8F\xBF\xBF", "?", none, 1, Form::WellFormed},              // U+10FFFF
        // Broken: one '?' for what the lead byte and its continuation bytes take.
        {"\xC3", "?", none, none, Form::Cut},                       // cut short at the end
        {"\xC3(", "?(", none, none, Form::Cut},                     // cut short by ASCII
        {"\xE2\x82\xC3\xA4", "?\xE4", none, none, Form::Cut},       // by another character
        {"\xA4x", "?x", none, none, Form::NoLead},                  // a lone continuation byte
        {"\xFF\xFE", "??", none, none, Form::NoLead},               // never valid
        {"\xF8\x88\x80\x80", "????", none, none, Form::NoLead},     // no five-byte forms
        {"\xC0\xB1", "?", none, none, Form::Overlong},              // an overlong '1'
        {"\xC1\xBF", "?", none, none, Form::Overlong},              // U+007F in two bytes
        {"\xE0\x80\xAF", "?", none, none, Form::Overlong},          // an overlong '/'
        {"\xF0\x8F\xBF\xBF", "?", none, none, Form::Overlong},      // U+FFFF in four bytes
        {"\xED\xA0\x80", "?", none, none, Form::Surrogate},         // U+D800
        {"\xED\xBF\xBFx", "?x", none, none, Form::Surrogate},       // U+DFFF
        {"\xF4\x90\x80\x80", "?", none, none, Form::BeyondUnicode}, // U+110000
        {"\xF7\xBF\xBF\xBF", "?", none, none, Form::BeyondUnicode},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utf8);
        EXPECT_EQ(utf8ToLatin1(row.utf8), row.shells);
        EXPECT_EQ(strictLatin1(row.utf8), row.strict);
        EXPECT_EQ(utf8Length(row.utf8), row.length);
        EXPECT_EQ(isUtf8(row.utf8), row.length.has_value());
        EXPECT_EQ(readUtf8(row.utf8, 0).form, row.first);
        EXPECT_EQ(isAscii(row.utf8), row.utf8 == "Pingel");
    }
    EXPECT_EQ(utf8Length(""), 0u);
    EXPECT_EQ(strictLatin1(""), "");
    EXPECT_TRUE(isAscii(""));

    // Every Latin-1 byte survives the way there and back, in both strengths.
    std::string all;
    for (int c = 0; c < 256; ++c) {
        all += static_cast<char>(c);
    }
    EXPECT_EQ(utf8ToLatin1(latin1ToUtf8(all)), all);
    EXPECT_EQ(strictLatin1(latin1ToUtf8(all)), all);
    EXPECT_EQ(utf8Length(latin1ToUtf8(all)), 256u);
    EXPECT_EQ(latin1ToUtf8("Bes\xF6k"), "Bes\xC3\xB6k");
}
