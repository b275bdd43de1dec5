// The shell's texts and addresses: the three information texts (their shape, CR LF line
// ends, Latin-1, the rules' words) and the web page addresses. (The Latin-1/UTF-8
// conversion where the texts meet a toolkit: latin1_test.)
#include "app/info_texts.h"
#include "app/web_pages.h"
#include "net/url.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// Splits at CR LF; false if a CR or an LF stands alone or the text does not end in CR LF.
bool splitCrLf(std::string_view text, std::vector<std::string_view>& lines) {
    for (std::size_t end; (end = text.find("\r\n")) != text.npos; text.remove_prefix(end + 2)) {
        lines.push_back(text.substr(0, end));
        if (lines.back().find_first_of("\r\n") != text.npos) {
            return false;
        }
    }
    return text.empty();
}
} // namespace

TEST(InfoTexts, EachTextIsTitledParagraphsInLatin1WithCrLf) {
    struct Row {
        std::int32_t selector;
        std::string_view title;
        std::size_t paragraphs;
        std::string_view last;
        bool emptyLineAtTheEnd;
    };
    const Row rows[] = {
        {0, "Pingel", 3, "Lycka till!", true},
        {1, "T\xC4VLINGSREGLER", 4, "", false},
        {2, "OM spelia", 5, "Lycka till med spelandet!", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.selector);
        const std::string_view text = infoText(row.selector);
        std::vector<std::string_view> lines;
        ASSERT_TRUE(splitCrLf(text, lines));
        // Title, empty line, then paragraphs separated by empty lines.
        ASSERT_EQ(lines.size(), 2 * row.paragraphs + 1 + row.emptyLineAtTheEnd);
        EXPECT_EQ(lines[0], row.title);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].empty(), i % 2 == 1) << "line " << i;
        }
        if (!row.last.empty()) {
            EXPECT_EQ(lines[2 * row.paragraphs], row.last);
        }
        // Latin-1, not UTF-8: every letter above ASCII is one byte of the Swedish alphabet.
        for (const char c : text) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                EXPECT_NE(std::string_view("\xE5\xE4\xF6\xC5\xC4\xD6\xE9").find(c),
                          std::string_view::npos)
                    << "byte " << int(static_cast<unsigned char>(c));
            }
        }
    }
    // The rules word for word where it matters; the competition rules name the tipster word
    // and the closing date.
    const std::string_view rules = infoText(0);
    EXPECT_NE(rules.find("\r\n\r\nDen nyfikna pingvinen Pingel vill l\xE4"),
              std::string_view::npos);
    EXPECT_NE(rules.find(" \"Fj\xE4rilarna\" g\xF6r allt "), std::string_view::npos);
    EXPECT_NE(rules.find(" desto fler fiender har han att tampas med.\r\n"),
              std::string_view::npos);
    EXPECT_NE(rules.find("\r\nDu styr pingvinen Pingel med piltangenterna.\r\n"),
              std::string_view::npos);
    EXPECT_NE(infoText(1).find("\"tipsare\""), std::string_view::npos);
    EXPECT_NE(infoText(1).find("10 januari 1999"), std::string_view::npos);
}

TEST(InfoTexts, ASelectorOutOfRangeShowsTheRules) {
    for (std::int32_t selector : {-1, 3, 1000}) {
        EXPECT_EQ(infoText(selector), infoText(0)) << selector;
    }
}

TEST(WebPages, AddressesAreHttpHostPortAndPath) {
    struct Row {
        std::string_view host;
        int port;
        std::string_view path;
        std::string url;
    };
    const std::vector<Row> rows = {
        {"spelia.example", 80, "/", "http://spelia.example/"},
        {"spelia.example", 8080, "/useradm/challenge/",
         "http://spelia.example:8080/useradm/challenge/"},
        {"localhost", 80, "/getpass.asp?mail=a@b.se", "http://localhost/getpass.asp?mail=a@b.se"},
        {"10.0.0.1", 1, "/dll/", "http://10.0.0.1:1/dll/"},
        {"::1", 8080, "/r0002.asp", "http://[::1]:8080/r0002.asp"},
        {"[::1]", 80, "/", "http://[::1]/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(httpUrl(row.host, row.port, row.path), row.url);
    }
    EXPECT_EQ(portalUrl("/registrera/").substr(0, 7), "http://");
    EXPECT_EQ(publisherUrl("/").back(), '/');
}
