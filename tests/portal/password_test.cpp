// Verified passwords are remembered by stored hash and password together: after a change
// of password (a new stored hash) the old password is refused although it was verified
// before, and a wrong password is never taken for a remembered one.
#include "portal/password.h"

#include <gtest/gtest.h>

namespace {

TEST(Passwords, ARememberedCheckNeverOutlivesThePassword) {
    PasswordChecks checks;
    const std::string before = hashPassword("hemligt1");
    const std::string after = hashPassword("nytt-ord");
    const struct {
        const char* what;
        const std::string& stored;
        const char* given;
        bool ok;
    } cases[] = {
        {"first check", before, "hemligt1", true},
        {"remembered", before, "hemligt1", true},
        {"wrong, after a right one", before, "hemligT1", false},
        {"old password, new hash", after, "hemligt1", false},
        {"new password, old hash", before, "nytt-ord", false},
        {"new password", after, "nytt-ord", true},
        {"new password, remembered", after, "nytt-ord", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(checks.verify(c.stored, c.given), c.ok);
    }
    // The two remembered checks ran no Argon2id.
    EXPECT_EQ(checks.runs(), 5u);
}

} // namespace
