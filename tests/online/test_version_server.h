// A small HTTP server on 127.0.0.1 for the version-check tests. It serves connections one
// after another on its own thread with a scripted behaviour, records what the client sent,
// and stops within a fraction of a second when destroyed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvel::testing {

enum class ServerMode {
    Respond,  // send `response` as it is (whatever it announces) and close
    Silent,   // read the request and never answer
    Flood,    // answer with a status line and then header lines without end, at full speed
    Trickle,  // the same, one header line every 20 ms (no idle time-out ever fires)
};

class TestHttpServer {
  public:
    TestHttpServer(ServerMode mode, std::string response)
        : TestHttpServer(mode, std::vector<std::string>{std::move(response)}) {}

    // One response per connection in order, the last for every connection after them.
    TestHttpServer(ServerMode mode, std::vector<std::string> responses)
        : mode_(mode), responses_(std::move(responses)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 8);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~TestHttpServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

    // A complete response with the given status line, body and optional extra headers.
    static std::string Response(int status, const std::string& body,
                                const std::string& extraHeaders = "") {
        std::string reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
        return "HTTP/1.1 " + std::to_string(status) + " " + reason +
               "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
    }

    int Port() const { return port_; }
    std::string Url(const std::string& path = "/korvelver.txt") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // Every request that carried bytes, in order.
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    int Connections() const { return connections_; }

  private:
    void Serve() {
        // Never outlive a test by much, whatever the client does.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{listener_, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections_;
            std::string request = ReadRequest(fd);
            if (!request.empty()) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    requests_.push_back(request);
                }
                if (mode_ == ServerMode::Silent) {
                    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    }
                } else if (mode_ == ServerMode::Flood || mode_ == ServerMode::Trickle) {
                    Flood(fd, deadline, mode_ == ServerMode::Trickle);
                } else {
                    const std::size_t n = static_cast<std::size_t>(connections_) - 1;
                    SendAll(fd, responses_[std::min(n, responses_.size() - 1)]);
                }
            }
            ::close(fd);
        }
    }

    // Reads until the end of the request headers, the peer closing, or half a second.
    std::string ReadRequest(int fd) {
        std::string request;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (!stop_ && std::chrono::steady_clock::now() < until &&
               request.find("\r\n\r\n") == std::string::npos) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            char buf[2048];
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, static_cast<std::size_t>(n));
        }
        return request;
    }

    // Headers that never end.
    void Flood(int fd, std::chrono::steady_clock::time_point deadline, bool paced) {
        SendAll(fd, "HTTP/1.1 200 OK\r\n");
        for (int i = 0; !stop_ && std::chrono::steady_clock::now() < deadline; ++i) {
            if (!SendAll(fd,
                         "X-Flood-" + std::to_string(i) + ": " + std::string(64, 'x') + "\r\n")) {
                return;
            }
            if (paced) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    static bool SendAll(int fd, const std::string& data) {
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    ServerMode mode_;
    std::vector<std::string> responses_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (connections are refused).
inline int RefusingPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace korvel::testing
