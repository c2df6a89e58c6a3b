// A small HTTP server on 127.0.0.1 for the tests of what talks to the network (the version
// check, timetable updates): it listens on a free port, reads each connection's request up
// to the end of its headers and hands it to the test's handler, which answers on the socket
// as scripted. It stops within a fraction of a second when destroyed, and never outlives a
// test by much whatever the client does.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace korvel::test {

class LoopbackServer {
  public:
    // Answers one connection; the connection is closed when it returns. A handler that waits
    // (a stalled or silent server) should give up once Stopping() says so.
    using Handler = std::function<void(int fd, const std::string& request)>;
    enum class Answers {
        OneAfterAnother,     // the next connection waits for the answer before it
        EachOnItsOwnThread,  // a stalled answer does not hold up the next client
    };

    // `lifetime` zero: until destroyed.
    explicit LoopbackServer(Handler handler, Answers answers = Answers::OneAfterAnother,
                            std::chrono::milliseconds lifetime = {})
        : handler_(std::move(handler)), answers_(answers) {
        if (lifetime.count() > 0) deadline_ = std::chrono::steady_clock::now() + lifetime;
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 16);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
        for (std::thread& t : answering_) t.join();
        ::close(listener_);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // Connections accepted so far.
    int Connections() const { return connections_; }
    // True once the server is being destroyed or its lifetime is over.
    bool Stopping() const {
        return stop_ || (deadline_ && std::chrono::steady_clock::now() >= *deadline_);
    }

    // Sends all of `data`; false when the peer is gone.
    static bool SendAll(int fd, std::string_view data) {
        for (std::size_t done = 0; done < data.size();) {
            const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // The path of a request line ("GET /a HTTP/1.1" gives "/a"); empty when there is none.
    static std::string PathOf(const std::string& request) {
        const std::size_t a = request.find(' ');
        const std::size_t b = a == std::string::npos ? a : request.find(' ', a + 1);
        return b == std::string::npos ? "" : request.substr(a + 1, b - a - 1);
    }

  private:
    void Run() {
        while (!Stopping()) {
            pollfd pfd{listener_, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections_;
            auto answer = [this, fd] {
                handler_(fd, ReadRequest(fd));
                ::close(fd);
            };
            if (answers_ == Answers::EachOnItsOwnThread) {
                answering_.emplace_back(answer);
            } else {
                answer();
            }
        }
    }

    // Reads until the end of the request headers, the peer closing, or a second.
    std::string ReadRequest(int fd) const {
        std::string request;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!Stopping() && std::chrono::steady_clock::now() < until &&
               request.find("\r\n\r\n") == std::string::npos) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            char buf[2048];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, static_cast<std::size_t>(n));
        }
        return request;
    }

    Handler handler_;
    Answers answers_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
    std::vector<std::thread> answering_;  // only touched by thread_ and, after it, the destructor
};

// A port on 127.0.0.1 where nothing listens (connections are refused).
inline int RefusingPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace korvel::test
