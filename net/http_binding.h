// The binding to the system's HTTP client library, loaded at run time the first time a
// highscore is sent and never linked. The binding is empty at start; an attempt loads
// the library and looks up every function the client lists; if the library or one
// function is missing, the attempt fails with result -1 and a text naming what is
// missing, and the binding stays incomplete, so the next attempt tries again from the
// start. Once complete it stays so, and the library stays loaded, for the rest of the run.
//
// Each attempt opens a fresh root handle and connection, and closes them after.
// Failures go into the HighscoreRecord as a result code and a message text.
#pragma once

#include "platform/http_client.h"

#include <cstdint>
#include <string>

struct HighscoreRecord;

class HttpBinding {
  public:
    enum class State { Empty, Incomplete, Complete };
    static constexpr const char* agent = "SpelHttp";

    explicit HttpBinding(HttpClient& client);

    // Binds if needed, then opens the root handle and the connection. False when no
    // connection is ready; the outcome is then in `record`.
    bool open(HighscoreRecord& record);
    // Closes the connection, then the root handle.
    void close();
    // The client's last error number and text into the record's result and message.
    void recordLastResponse(HighscoreRecord& record);

    HttpClient& client() { return client_; }
    HttpClient::Handle connection() const { return connection_; }
    State state() const { return state_; }
    // Forgets the library (a test that installs another platform starts afresh).
    void forget();

    // Where the highscore goes, and how long an exchange may take.
    std::string host;
    int port;
    HttpTimeouts timeouts;

  private:
    bool bind(HighscoreRecord& record);

    HttpClient& client_;
    State state_ = State::Empty;
    void* library_ = nullptr;
    HttpClient::Handle root_ = nullptr;
    HttpClient::Handle connection_ = nullptr;
};

// The process-wide binding over the system's HTTP client, to the portal's host.
extern HttpBinding httpBinding;

bool openHttpBinding(HighscoreRecord& record);
void closeHttpBinding();
void recordLastResponse(HighscoreRecord& record);
