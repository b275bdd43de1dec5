// The portal's HTTP server on libmicrohttpd; see http_server.h.
#include "portal/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

// A fixed pool of threads and a bounded queue of work for them.
class WorkPool {
  public:
    WorkPool(std::size_t threads, std::size_t waiting) : waiting_(waiting) {
        for (std::size_t i = 0; i < threads; ++i) {
            threads_.emplace_back([this] { work(); });
        }
    }
    ~WorkPool() { finish(); }
    // Runs the jobs waiting and ends the threads; post() takes no more.
    void finish() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (auto& t : threads_) {
            if (t.joinable()) {
                t.join();
            }
        }
    }
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // False when the queue is full or the pool finished; else `accepted` runs before any
    // worker can take the job.
    bool post(std::function<void()> job, const std::function<void()>& accepted) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || queue_.size() >= waiting_) {
                return false;
            }
            accepted();
            queue_.push_back(std::move(job));
        }
        ready_.notify_one();
        return true;
    }

  private:
    void work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) {
                    return;
                }
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            job();
        }
    }

    std::size_t waiting_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// The textual address of a socket address; an IPv4-mapped IPv6 address as IPv4.
std::string addressText(const sockaddr* addr) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(addr)->sin_addr, text,
                  sizeof text);
    } else if (addr->sa_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text);
        } else {
            inet_ntop(AF_INET6, &v6, text, sizeof text);
        }
    }
    return text;
}

} // namespace

std::optional<std::string> forwardedClient(std::string_view header) {
    const auto comma = header.rfind(',');
    std::string_view last = comma == std::string_view::npos ? header : header.substr(comma + 1);
    while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) {
        last.remove_prefix(1);
    }
    while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) {
        last.remove_suffix(1);
    }
    const std::string candidate(last);
    unsigned char bytes[sizeof(in6_addr)];
    if (inet_pton(AF_INET, candidate.c_str(), bytes) == 1 ||
        inet_pton(AF_INET6, candidate.c_str(), bytes) == 1) {
        return candidate;
    }
    return std::nullopt;
}

std::string addressShare(std::string_view address) {
    const std::string text(address);
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) {
        return text;
    }
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        char v4[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &v6.s6_addr[12], v4, sizeof v4);
        return v4;
    }
    std::fill(std::begin(v6.s6_addr) + 8, std::end(v6.s6_addr), 0);
    char prefix[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &v6, prefix, sizeof prefix);
    return std::string(prefix) + "/64";
}

std::optional<std::string> canonicalAddress(std::string_view address) {
    const std::string text(address);
    in6_addr v6{};
    in_addr v4{};
    char out[INET6_ADDRSTRLEN] = {};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        inet_ntop(AF_INET, &v4, out, sizeof out);
    } else if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            inet_ntop(AF_INET, &v6.s6_addr[12], out, sizeof out);
        } else {
            inet_ntop(AF_INET6, &v6, out, sizeof out);
        }
    } else {
        return std::nullopt;
    }
    return out;
}

struct HttpServer::Impl {
    Impl(HttpServer& owner, HttpLimits limits) : owner(owner), limits(limits) {}

    HttpServer& owner;
    HttpLimits limits;
    int listener = -1;
    MHD_Daemon* daemon = nullptr;
    std::unique_ptr<WorkPool> pool;

    std::mutex sharesMutex;
    std::map<std::string, std::size_t> shares; // open connections by address share
    std::atomic<std::size_t> gathered{0};      // bytes of bodies reserved while gathering
    std::atomic<std::size_t> inFlight{0};      // requests begun and not yet completed
    std::atomic<std::size_t> working{0};       // requests on a worker or waiting for one
    std::atomic<std::size_t> connections{0};   // open now
    std::atomic<bool> stopping{false};         // no request goes to a worker any more

    std::mutex haltMutex;
    std::condition_variable haltSignal;
    bool halted = false;

    // One request, from its head to the end of its reply.
    struct Exchange {
        Exchange(Impl& server, MHD_Connection* connection)
            : server(server), connection(connection) {}
        Exchange(const Exchange&) = delete;
        Exchange& operator=(const Exchange&) = delete;
        Impl& server;
        MHD_Connection* connection;
        http::Request request;
        http::Response response;
        const http::Route* route = nullptr;
        std::size_t reserved = 0; // of `gathered`
        bool ready = false;       // the reply is made: queue it
        bool working = false;     // on a worker, the connection suspended
        const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        ~Exchange() { server.gathered -= reserved; }
    };

    bool proxy(const std::string& address) const { return owner.trusts(address); }

    bool reserve(Exchange& ex, std::size_t bytes) {
        std::size_t now = gathered.load();
        do {
            if (now + bytes > limits.gathering) {
                return false;
            }
        } while (!gathered.compare_exchange_weak(now, now + bytes));
        ex.reserved += bytes;
        return true;
    }

    // A reply of this server's own: a status and whatever `finish` adds.
    void refuse(Exchange& ex, int status) {
        ex.response = {};
        ex.response.status = status;
        ex.response.setHeader("Connection", "close");
        ex.ready = true;
    }

    MHD_Result queue(Exchange& ex) {
        if (owner.finish) {
            owner.finish(ex.request, ex.response);
        }
        auto& res = ex.response;
        const std::size_t bytes = ex.request.method == "HEAD" ? 0 : res.bodySize();
        MHD_Response* reply = nullptr;
        if (res.shared) {
            auto* kept = new std::shared_ptr<const std::string>(res.shared);
            reply = MHD_create_response_from_buffer_with_free_callback_cls(
                (*kept)->size(), const_cast<char*>((*kept)->data()),
                [](void* cls) { delete static_cast<std::shared_ptr<const std::string>*>(cls); },
                kept);
        } else {
            auto* kept = new std::string(std::move(res.body));
            reply = MHD_create_response_from_buffer_with_free_callback_cls(
                kept->size(), kept->data(),
                [](void* cls) { delete static_cast<std::string*>(cls); }, kept);
        }
        if (!reply) {
            return MHD_NO;
        }
        for (const auto& [name, value] : res.headers) {
            MHD_add_response_header(reply, name.c_str(), value.c_str());
        }
        const MHD_Result queued =
            MHD_queue_response(ex.connection, static_cast<unsigned>(res.status), reply);
        MHD_destroy_response(reply);
        if (queued == MHD_YES && owner.ended) {
            // Counted before the client can see the reply, so a request it makes next
            // finds this one counted.
            const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - ex.start);
            try {
                owner.ended({ex.request, ex.route, res.status, bytes, took});
            } catch (...) {
                // Only counting and logging: the reply goes out either way.
            }
        }
        return queued;
    }

    void handle(Exchange& ex) {
        try {
            if (ex.request.method == "POST" && ex.route->guarded && owner.routes_.formGuard &&
                !owner.routes_.formGuard(ex.request, ex.response)) {
                return;
            }
            ex.route->handler(ex.request, ex.response);
        } catch (...) {
            ex.response = {};
            ex.response.status = 503;
            if (owner.failed) {
                owner.failed(ex.request, ex.response, std::current_exception());
            }
        }
    }

    // The head has arrived: the request as the handlers see it, and whether it is refused
    // before its body is read.
    void begin(Exchange& ex, const char* url, const char* method) {
        http::Request& req = ex.request;
        req.method = method;
        req.path = url;
        MHD_get_connection_values(
            ex.connection, MHD_HEADER_KIND,
            [](void* cls, MHD_ValueKind, const char* key, const char* value) {
                static_cast<http::Headers*>(cls)->emplace(key, value ? value : "");
                return MHD_YES;
            },
            &req.headers);
        MHD_get_connection_values(
            ex.connection, MHD_GET_ARGUMENT_KIND,
            [](void* cls, MHD_ValueKind, const char* key, const char* value) {
                static_cast<http::Fields*>(cls)->emplace(key, value ? value : "");
                return MHD_YES;
            },
            &req.query);
        const auto* info =
            MHD_get_connection_info(ex.connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        req.peer = info ? addressText(info->client_addr) : "";
        req.client = req.peer;
        if (proxy(req.client)) {
            if (const auto forwarded = forwardedClient(req.header("X-Forwarded-For"))) {
                req.client = *forwarded;
            }
        }
        bool otherMethod = false;
        ex.route = owner.routes_.find(req.method, req.path, &otherMethod, &req);
        if (!ex.route) {
            refuse(ex, otherMethod ? 405 : 404);
            return;
        }
        if (ex.route->prefix) {
            req.rest = req.path.substr(ex.route->path.size());
        }
        if (req.method != "POST") {
            return;
        }
        const std::string length = req.header("Content-Length");
        if (!length.empty()) {
            std::size_t size = 0;
            const auto [end, error] =
                std::from_chars(length.data(), length.data() + length.size(), size);
            if (error != std::errc() || end != length.data() + length.size()) {
                refuse(ex, 400);
            } else if (size > ex.route->bodyLimit) {
                refuse(ex, 413);
            } else if (!reserve(ex, size)) {
                refuse(ex, 503);
            } else {
                ex.request.body.reserve(size);
            }
        }
    }

    MHD_Result dispatch(Exchange& ex) {
        http::Request& req = ex.request;
        if (req.method == "POST" &&
            req.header("Content-Type").starts_with("application/x-www-form-urlencoded")) {
            req.form = http::decodeForm(req.body);
        }
        if (ex.route->runs == http::Runs::AtOnce) {
            handle(ex);
            return queue(ex);
        }
        const bool posted = !stopping && pool->post(
                                             [this, &ex] {
                                                 handle(ex);
                                                 ex.ready = true;
                                                 ex.working = false;
                                                 MHD_resume_connection(ex.connection);
                                                 if (--working == 0) {
                                                     std::lock_guard lock(haltMutex);
                                                     haltSignal.notify_all();
                                                 }
                                             },
                                             [this, &ex] {
                                                 ++working;
                                                 ex.working = true;
                                                 MHD_suspend_connection(ex.connection);
                                             });
        if (!posted) {
            refuse(ex, 503);
            ex.response.setHeader("Retry-After", "5");
            return queue(ex);
        }
        return MHD_YES;
    }

    static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url,
                                const char* method, const char*, const char* data,
                                std::size_t* size, void** context) {
        Impl& self = *static_cast<Impl*>(cls);
        auto* ex = static_cast<Exchange*>(*context);
        if (!ex) {
            ex = new Exchange(self, connection);
            *context = ex;
            ++self.inFlight;
            self.begin(*ex, url, method);
            return ex->ready ? self.queue(*ex) : MHD_YES;
        }
        if (*size != 0) {
            // A part of the body: kept within the route's limit and the memory for bodies
            // (a chunked body has no length to check beforehand); past either, the
            // connection is closed.
            const std::size_t total = ex->request.body.size() + *size;
            if (total > ex->route->bodyLimit ||
                (total > ex->reserved && !self.reserve(*ex, total - ex->reserved))) {
                return MHD_NO;
            }
            ex->request.body.append(data, *size);
            *size = 0;
            return MHD_YES;
        }
        if (ex->ready) {
            return self.queue(*ex);
        }
        if (ex->working) {
            return MHD_YES;
        }
        return self.dispatch(*ex);
    }

    static void onCompleted(void* cls, MHD_Connection*, void** context,
                            MHD_RequestTerminationCode) {
        Impl& self = *static_cast<Impl*>(cls);
        if (auto* ex = static_cast<Exchange*>(*context)) {
            delete ex;
            *context = nullptr;
            if (--self.inFlight == 0) {
                std::lock_guard lock(self.haltMutex);
                self.haltSignal.notify_all();
            }
        }
    }

    // Percent-decoding of the path and the query, as the library's, except that a decoded
    // NUL (which would end the text there, "/spela/%00x" becoming "/spela/") becomes DEL,
    // a character no route or file name takes.
    static std::size_t unescape(void*, MHD_Connection*, char* text) {
        const std::size_t length = MHD_http_unescape(text);
        std::replace(text, text + length, '\0', '\x7f');
        return length;
    }

    static MHD_Result onAccept(void* cls, const sockaddr* addr, socklen_t) {
        Impl& self = *static_cast<Impl*>(cls);
        const std::string address = addressText(addr);
        if (self.proxy(address)) {
            return MHD_YES;
        }
        std::lock_guard lock(self.sharesMutex);
        const auto at = self.shares.find(addressShare(address));
        return at == self.shares.end() || at->second < self.limits.perAddress ? MHD_YES : MHD_NO;
    }

    static void onConnection(void* cls, MHD_Connection* connection, void** socketContext,
                             MHD_ConnectionNotificationCode code) {
        Impl& self = *static_cast<Impl*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            ++self.connections;
            const auto* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            const std::string address = info ? addressText(info->client_addr) : "";
            if (self.proxy(address)) {
                return;
            }
            auto* key = new std::string(addressShare(address));
            std::lock_guard lock(self.sharesMutex);
            ++self.shares[*key];
            *socketContext = key;
        } else {
            --self.connections;
            if (auto* key = static_cast<std::string*>(*socketContext)) {
                {
                    std::lock_guard lock(self.sharesMutex);
                    if (const auto at = self.shares.find(*key);
                        at != self.shares.end() && --at->second == 0) {
                        self.shares.erase(at);
                    }
                }
                delete key;
                *socketContext = nullptr;
            }
        }
    }
};

HttpServer::HttpServer(HttpLimits limits) : limits_(limits) {}

HttpServer::~HttpServer() {
    if (impl_ && impl_->listener >= 0) {
        ::close(impl_->listener);
    }
}

bool HttpServer::open(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints,
                    &found) != 0) {
        return false;
    }
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        const int on = 1, off = 0;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (a->ai_family == AF_INET6) {
            setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        }
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 1024) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    impl_ = std::make_unique<Impl>(*this, limits_);
    impl_->listener = fd;
    return true;
}

void HttpServer::serve() {
    Impl& impl = *impl_;
    const unsigned loops =
        limits_.eventLoops ? limits_.eventLoops : std::max(2u, std::thread::hardware_concurrency());
    impl.pool = std::make_unique<WorkPool>(limits_.workers, limits_.waiting);
    impl.daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME, 0,
        &Impl::onAccept, &impl, &Impl::onRequest, &impl, MHD_OPTION_LISTEN_SOCKET, impl.listener,
        MHD_OPTION_THREAD_POOL_SIZE, loops, MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(limits_.connections), MHD_OPTION_CONNECTION_TIMEOUT,
        limits_.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.connectionMemory,
        MHD_OPTION_NOTIFY_COMPLETED, &Impl::onCompleted, &impl, MHD_OPTION_NOTIFY_CONNECTION,
        &Impl::onConnection, &impl, MHD_OPTION_UNESCAPE_CALLBACK, &Impl::unescape, &impl,
        MHD_OPTION_END);
    if (!impl.daemon) {
        impl.pool->finish();
        return;
    }
    impl.listener = -1; // the daemon's now
    {
        std::unique_lock lock(impl.haltMutex);
        impl.haltSignal.wait(lock, [&] { return impl.halted; });
    }
    // New requests are refused (503) and the requests under way are answered, for up to
    // 10 s; every worker has resumed its connection before the daemon goes (it may not stop
    // with one suspended). (The library's quiesce is not used: with several event loops on
    // epoll it can abort the process.)
    impl.stopping = true;
    {
        std::unique_lock lock(impl.haltMutex);
        impl.haltSignal.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return impl.inFlight == 0; });
        impl.haltSignal.wait(lock, [&] { return impl.working == 0; });
    }
    impl.pool->finish();
    MHD_stop_daemon(impl.daemon);
    impl.daemon = nullptr;
}

bool HttpServer::trusts(const std::string& address) const {
    return std::find(proxies_.begin(), proxies_.end(), address) != proxies_.end();
}

std::size_t HttpServer::openConnections() const {
    return impl_ ? impl_->connections.load(std::memory_order_relaxed) : 0;
}

std::size_t HttpServer::requestsInProgress() const {
    return impl_ ? impl_->inFlight.load(std::memory_order_relaxed) : 0;
}

void HttpServer::halt() {
    if (!impl_) {
        return;
    }
    {
        std::lock_guard lock(impl_->haltMutex);
        impl_->halted = true;
    }
    impl_->haltSignal.notify_all();
}
