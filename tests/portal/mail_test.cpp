// Outgoing mail: no header can be smuggled in through an address or a subject, the mail
// program runs without a shell and within its time, and the outbox holds whole messages
// that only the operator can read.
#include "portal/mail.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::string headersOf(const std::string& message) {
    return message.substr(0, message.find("\n\n") + 1);
}

TEST(Mail, NoHeaderCanBeSmuggledIn) {
    for (const char* to : {"a@example.se\nBcc: x@evil.example", "a@example.se\r", "",
                           "a@example.se, x@evil.example", "A <a@example.se>", "a@b@c", "@x"}) {
        SCOPED_TRACE(to);
        EXPECT_FALSE(composeMail({to, "Hej", "text"}, "spelia <s@example.se>", 0, "id"));
    }
    for (const char* from : {"s@example.se\nBcc: x@evil.example", "nobody", ""}) {
        EXPECT_FALSE(acceptableFrom(from)) << from;
    }
    const auto mail =
        composeMail({"anna@example.se", "Hej\r\nBcc: x@evil.example", "rad 1\r\nrad 2"},
                    "s@example.se", 86400 * 365, "abc");
    ASSERT_TRUE(mail);
    const std::string headers = headersOf(*mail);
    EXPECT_EQ(headers, "Date: Fri, 01 Jan 1971 00:00:00 +0000\nFrom: s@example.se\n"
                       "To: anna@example.se\nSubject: Hej  Bcc: x@evil.example\n"
                       "Message-ID: <abc@spelia>\nMIME-Version: 1.0\n"
                       "Content-Type: text/plain; charset=utf-8\n"
                       "Content-Transfer-Encoding: 8bit\n");
    EXPECT_EQ(mail->substr(headers.size()), "\nrad 1\nrad 2\n");

    // Text beyond ASCII, or that looks like an encoded word, is encoded; long text is
    // folded into several words, never split inside a character.
    EXPECT_EQ(encodedHeaderText("Anna utmanar dig p\xC3\xA5 spelia"),
              "=?UTF-8?B?QW5uYSB1dG1hbmFyIGRpZyBww6Ugc3BlbGlh?=");
    EXPECT_EQ(encodedHeaderText("=?x?="), "=?UTF-8?B?PT94Pz0=?=");
    const std::string folded = encodedHeaderText(std::string(60, 'a') + "\xC3\xA5\n");
    EXPECT_EQ(folded, "=?UTF-8?B?YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFh?=\n"
                      " =?UTF-8?B?YWFhYWFhYWFhYWFhYWFhw6Ug?=");
}

class MailerTest : public testing::Test {
  protected:
    void TearDown() override { fs::remove_all(dir_); }

    const fs::path dir_ = freshFolder("mail");
    const MailMessage message_{"anna@example.se", "Hej", "Hej Anna!\n"};
};

TEST_F(MailerTest, TheProgramGetsTheMessageWithoutAShellAndWithinItsTime) {
    // Shell syntax in an argument stays a plain file name.
    const std::string name = "out; touch pwned";
    MailSettings settings;
    settings.command = commandWords("/usr/bin/tee  " + (dir_ / "x").string());
    settings.command.back() = (dir_ / name).string();
    EXPECT_TRUE(Mailer(settings).send(message_));
    EXPECT_NE(filesIn(dir_).at(0).find("To: anna@example.se\n"), std::string::npos);
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists(dir_ / "pwned"));

    settings.timeout = std::chrono::milliseconds(300);
    // A program that hangs is stopped: a sender that waited for it would take a minute.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"/bin/false"},
          {"/nonexistent/sendmail"},
          {"/bin/sleep", "60"},
          {"/bin/sh", "-c", "exec 0<&-; exec sleep 60"}}) {
        SCOPED_TRACE(command[0]);
        settings.command = command;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Mailer(settings).send(message_));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    }
}

TEST_F(MailerTest, TheOutboxHoldsWholeMessagesForTheOperatorAlone) {
    MailSettings settings;
    settings.outbox = (dir_ / "outbox").string();
    const Mailer mailer(settings);
    ASSERT_TRUE(mailer.send(message_));
    ASSERT_TRUE(mailer.send(message_));
    EXPECT_FALSE(mailer.send({"x@example.se\nBcc: y@example.se", "Hej", "x"}));
    ASSERT_EQ(filesIn(settings.outbox).size(), 2u);
    for (const std::string& text : filesIn(settings.outbox)) {
        EXPECT_TRUE(text.ends_with("\n\nHej Anna!\n"));
    }
    for (const auto& file : fs::directory_iterator(settings.outbox)) {
        EXPECT_EQ(file.path().extension(), ".eml");
        EXPECT_EQ(file.status().permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    settings.outbox = "/proc/no-outbox-here";
    EXPECT_FALSE(Mailer(settings).send(message_));
}

} // namespace
