// Password hashing and the memory of verified passwords; see password.h.
#include "portal/password.h"

#include <sodium.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <unordered_set>
#include <utility>

namespace {

void startSodium() {
    static const bool started = sodium_init() >= 0;
    if (!started) {
        throw std::runtime_error("libsodium could not start");
    }
}

// Argon2id runs of at most argonSlots at a time (64 MiB each, one per core of a small
// server), admitted in the order they asked: under a burst of first logins no caller waits
// longer than those before it (an unfair wait could outlast the game's 30 s for one of
// them). Callers past the bound are turned away at once.
class ArgonGate {
  public:
    void enter() {
        std::unique_lock lock(mutex_);
        if (inside_ >= bound_) {
            throw PasswordQueueFull();
        }
        ++inside_;
        const std::uint64_t ticket = next_++;
        turn_.wait(lock, [&] { return ticket < admitted_; });
        ++runs_;
    }
    void leave() {
        {
            std::lock_guard lock(mutex_);
            ++admitted_;
            --inside_;
        }
        turn_.notify_all();
    }
    void bound(std::size_t callers) {
        std::lock_guard lock(mutex_);
        bound_ = callers;
    }
    std::uint64_t runs() {
        std::lock_guard lock(mutex_);
        return runs_;
    }
    // Callers admitted and running, and callers waiting for their turn.
    std::pair<std::size_t, std::size_t> load() {
        std::lock_guard lock(mutex_);
        const std::size_t waiting = next_ > admitted_ ? next_ - admitted_ : 0;
        return {inside_ - waiting, waiting};
    }

  private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t next_ = 0;
    std::uint64_t admitted_ = argonSlots;
    std::size_t inside_ = 0;
    std::size_t bound_ = 0;
    std::uint64_t runs_ = 0;
};

struct Slot {
    explicit Slot(ArgonGate& gate) : gate_(gate) { gate_.enter(); }
    ~Slot() { gate_.leave(); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

  private:
    ArgonGate& gate_;
};

std::string hex(const unsigned char* bytes, std::size_t n) {
    std::string out(n * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), bytes, n);
    out.pop_back();
    return out;
}

// Digests of (stored hash, password) pairs verified since the start, under a key drawn at
// start. Bounded: it is forgotten as a whole when full.
class VerifiedPasswords {
  public:
    VerifiedPasswords() {
        startSodium();
        crypto_generichash_keygen(key_.data());
    }

    std::string digest(const std::string& storedHash, const std::string& password) const {
        crypto_generichash_state state;
        crypto_generichash_init(&state, key_.data(), key_.size(), 32);
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(storedHash.data()),
                                  storedHash.size() + 1); // with its terminating zero
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(password.data()),
                                  password.size());
        std::array<unsigned char, 32> out{};
        crypto_generichash_final(&state, out.data(), out.size());
        return std::string(reinterpret_cast<const char*>(out.data()), out.size());
    }
    bool contains(const std::string& d) {
        std::lock_guard lock(mutex_);
        return known_.contains(d);
    }
    void add(const std::string& d) {
        std::lock_guard lock(mutex_);
        if (known_.size() >= 100000) {
            known_.clear();
        }
        known_.insert(d);
    }

  private:
    std::array<unsigned char, crypto_generichash_KEYBYTES> key_{};
    std::mutex mutex_;
    std::unordered_set<std::string> known_;
};

// Argon2id itself: a hash with the interactive limits, and a check against one.
std::string argonHash(const std::string& password) {
    startSodium();
    std::array<char, crypto_pwhash_STRBYTES> out{};
    if (crypto_pwhash_str_alg(
            out.data(), password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0) {
        throw std::runtime_error("out of memory while hashing a password");
    }
    return out.data();
}

bool argonCheck(const std::string& storedHash, const std::string& password) {
    startSodium();
    return crypto_pwhash_str_verify(storedHash.c_str(), password.data(), password.size()) == 0;
}

} // namespace

struct PasswordChecks::State {
    ArgonGate gate;
    VerifiedPasswords verified;
};

PasswordChecks::PasswordChecks(std::size_t bound) : state_(std::make_unique<State>()) {
    state_->gate.bound(bound);
}

PasswordChecks::~PasswordChecks() = default;

void PasswordChecks::setBound(std::size_t callers) {
    state_->gate.bound(callers);
}

std::uint64_t PasswordChecks::runs() {
    return state_->gate.runs();
}

std::size_t PasswordChecks::running() {
    return state_->gate.load().first;
}

std::size_t PasswordChecks::waiting() {
    return state_->gate.load().second;
}

std::string PasswordChecks::hash(const std::string& password) {
    Slot slot(state_->gate);
    return argonHash(password);
}

bool PasswordChecks::verify(const std::string& storedHash, const std::string& password) {
    auto& memory = state_->verified;
    const std::string digest = memory.digest(storedHash, password);
    if (memory.contains(digest)) {
        return true;
    }
    bool ok = false;
    {
        Slot slot(state_->gate);
        ok = argonCheck(storedHash, password);
    }
    if (ok) {
        memory.add(digest);
    }
    return ok;
}

void PasswordChecks::verifyNobodys(const std::string& password) {
    // Made with hashPassword's parameters; its password is no secret, and nothing is
    // remembered of the check.
    static constexpr const char* nobodysHash =
        "$argon2id$v=19$m=65536,t=2,p=1$yiLco1tCAVDSdnp6rOWh5A$"
        "M1SDjeboetx96UOGHqJOAiP3ATSbPw343YsJq92q9fY";
    Slot slot(state_->gate);
    [[maybe_unused]] const bool ignored = argonCheck(nobodysHash, password);
}

bool PasswordChecks::known(const std::string& storedHash, const std::string& password) {
    auto& memory = state_->verified;
    return memory.contains(memory.digest(storedHash, password));
}

std::string hashPassword(const std::string& password) {
    return argonHash(password);
}

bool verifyPassword(const std::string& storedHash, const std::string& password) {
    return argonCheck(storedHash, password);
}

std::string randomToken() {
    startSodium();
    std::array<unsigned char, 32> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    return hex(bytes.data(), bytes.size());
}

std::string tokenDigest(const std::string& token) {
    startSodium();
    std::array<unsigned char, crypto_generichash_BYTES> out{};
    crypto_generichash(out.data(), out.size(), reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    return hex(out.data(), out.size());
}
