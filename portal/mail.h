// The portal's outgoing mail: password reset links and challenges to friends. A message is
// either handed to a mail program the operator names (run directly, never through a
// shell, the message on its standard input, bounded in time), or written as a file into an
// outbox folder that the operator reads or forwards. Messages are UTF-8 text with proper
// headers; nothing from a visitor can add a header line.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MailSettings {
    std::vector<std::string> command; // program and its arguments; empty: the outbox
    std::string outbox;               // the folder of the outbox
    std::string from = "spelia <spelia@localhost>";
    std::chrono::milliseconds timeout{10000}; // the whole run of the mail program
};

struct MailMessage {
    std::string to; // one address
    std::string subject;
    std::string body; // UTF-8, lines ending in "\n"
};

// The message as it is sent: headers, a blank line, the body. Nothing when the address
// could smuggle a header or a second recipient. `now` is Unix seconds; `id` makes the
// Message-ID unique.
std::optional<std::string> composeMail(const MailMessage& message, std::string_view from,
                                       std::int64_t now, std::string_view id);
// "=?UTF-8?B?...?=" words for a header text that is not plain printable ASCII; control
// characters become blanks first.
std::string encodedHeaderText(std::string_view utf8);
// A From value the operator may give: printable, no line breaks, with an address in it.
bool acceptableFrom(std::string_view from);
// "/usr/sbin/sendmail -t" as its words (split at blanks; no quoting, no shell).
std::vector<std::string> commandWords(std::string_view command);

class Mailer {
  public:
    explicit Mailer(MailSettings settings) : settings_(std::move(settings)) {}
    // False when the message was refused, the mail program failed or ran too long, or
    // the outbox could not be written; the reason goes to standard error (never the
    // message, which may hold a reset link).
    bool send(const MailMessage& message) const;
    const MailSettings& settings() const { return settings_; }

  private:
    bool runCommand(const std::string& text) const;
    bool writeOutbox(const std::string& text, std::string_view id) const;

    MailSettings settings_;
};
