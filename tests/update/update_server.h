// A small HTTP server on 127.0.0.1 for the update tests: it serves paths from a table, each
// with a behaviour (a good answer, an error status, a redirect, a stall mid-body, more or
// fewer bytes than announced, a few bytes at a time), one connection after another on its
// own thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvel::update_test {

enum class Behaviour {
    Serve,
    Status,
    Redirect,
    StallMidBody,
    MoreThanAnnounced,
    Truncated,
    Trickle
};

struct Route {
    Behaviour behaviour = Behaviour::Serve;
    std::string body;  // the file (Serve, Stall, ...), or the Location of a redirect
    int status = 200;
};

class UpdateServer {
  public:
    UpdateServer() {
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
    ~UpdateServer() {
        stop_ = true;
        thread_.join();
        for (std::thread& t : answers_) t.join();
        ::close(listener_);
    }

    void Set(const std::string& path, Route route) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = std::move(route);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    void Run() {
        while (!stop_) {
            pollfd pfd{listener_, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            // One thread an answer, so that a stalled answer does not hold up the next client.
            answers_.emplace_back([this, fd] {
                Answer(fd, PathOf(ReadRequest(fd)));
                ::close(fd);
            });
        }
    }

    void Answer(int fd, const std::string& path) {
        Route route;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = routes_.find(path);
            if (it == routes_.end()) {
                Send(fd, Head(404, 0));
                return;
            }
            route = it->second;
        }
        const std::string& b = route.body;
        switch (route.behaviour) {
            case Behaviour::Serve:
                Send(fd, Head(200, b.size()) + b);
                break;
            case Behaviour::Status:
                Send(fd, Head(route.status, 0));
                break;
            case Behaviour::Redirect:
                Send(fd, Head(302, 0, "Location: " + b + "\r\n"));
                break;
            case Behaviour::StallMidBody:
                Send(fd, Head(200, b.size()) + b.substr(0, b.size() / 2));
                for (int i = 0; i < 500 && !stop_; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                break;
            case Behaviour::MoreThanAnnounced:
                // Announces nothing and keeps sending: only the client's limit stops it.
                Send(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + b + b);
                break;
            case Behaviour::Trickle:
                // 2 bytes every 250 ms, never stalling, until the client gives up.
                if (!Send(fd, Head(200, b.size()))) break;
                for (std::size_t at = 0; at < b.size() && !stop_; at += 2) {
                    if (!Send(fd, b.substr(at, 2))) break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                }
                break;
            case Behaviour::Truncated:
                Send(fd, Head(200, b.size()) + b.substr(0, b.size() - 10));
                break;
        }
    }

    static std::string Head(int status, std::size_t length, const std::string& extra = "") {
        return "HTTP/1.1 " + std::to_string(status) +
               " X\r\nContent-Length: " + std::to_string(length) + "\r\nConnection: close\r\n" +
               extra + "\r\n";
    }
    static std::string PathOf(const std::string& request) {
        const std::size_t a = request.find(' ');
        const std::size_t b = request.find(' ', a + 1);
        return a == std::string::npos || b == std::string::npos ? ""
                                                                : request.substr(a + 1, b - a - 1);
    }
    std::string ReadRequest(int fd) {
        std::string request;
        for (int i = 0; i < 50 && request.find("\r\n\r\n") == std::string::npos; ++i) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            char buf[2048];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, static_cast<std::size_t>(n));
        }
        return request;
    }
    static bool Send(int fd, const std::string& data) {
        for (std::size_t done = 0; done < data.size();) {
            const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::map<std::string, Route> routes_;
    std::thread thread_;
    std::vector<std::thread> answers_;  // only touched by thread_ and, after it, the destructor
};

}  // namespace korvel::update_test
