// The pages' templates: each one parses and renders, and a value from a visitor or the
// database comes out escaped, with any template syntax in it left as text.
#include "portal/pages.h"
#include "portal/templates.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(TemplatesTest, EveryTemplateRendersAndAnUnknownOneIsAnError) {
    ASSERT_GE(portalTemplates().size(), 20u);
    for (const auto& [name, text] : portalTemplates()) {
        SCOPED_TRACE(std::string(name));
        EXPECT_FALSE(text.empty());
        EXPECT_NO_THROW(web::render(name, {}));
    }
    EXPECT_THROW(web::render("no-such-page", {}), std::logic_error);
}

TEST(TemplatesTest, HostileValuesAreEscapedAndNeverExpanded) {
    struct Case {
        std::string value, escaped;
    };
    const Case cases[] = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"\"><img src=x onerror=1>", "&quot;&gt;&lt;img src=x onerror=1&gt;"},
        {"a'b&c", "a&apos;b&amp;c"},
        {"{{title}}{{{body}}}{{> frame}}", "{{title}}{{{body}}}{{&gt; frame}}"},
        {"{{#member}}x{{/member}}", "{{#member}}x{{/member}}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const Visitor visitor{7, c.value, c.value, "token", true};
        web::Registration form{c.value, c.value, "", "", c.value, {{"epost", c.value}}};
        web::Data member;
        member.set("nickname", c.value);
        member.set("email", c.value);
        member.set("unconfirmed", true);
        member.set("csrf", c.value);
        web::Data row;
        row.set("nickname", c.value);
        row.set("proven", false);
        web::Data list;
        list.set("caption", c.value);
        list.set("rows", web::List{row});
        // Where each page shows the value, and how many times.
        const std::pair<std::string, int> pages[] = {
            {pageFrame(c.value, "", visitor), 3},
            {web::registrationForm(form, c.value), 5},
            {web::render("member", member), 3},
            {web::render("toplist", list), 2},
        };
        for (const auto& [page, times] : pages) {
            SCOPED_TRACE(page);
            if (c.value != c.escaped) {
                EXPECT_EQ(page.find(c.value), std::string::npos);
            }
            EXPECT_EQ(page.find("<script"), std::string::npos);
            EXPECT_EQ(page.find("<img"), std::string::npos);
            int found = 0;
            for (auto at = page.find(c.escaped); at != std::string::npos;
                 at = page.find(c.escaped, at + 1)) {
                ++found;
            }
            EXPECT_EQ(found, times); // none lost, none expanded
            // At most the one frame: no partial named in a value was included.
            EXPECT_EQ(page.find("<!DOCTYPE"), page.rfind("<!DOCTYPE"));
        }
    }
}

} // namespace
