// The update tests' server on 127.0.0.1: it serves paths from a table, each with a behaviour
// (a good answer, an error status, a redirect, a stall mid-body, more or fewer bytes than
// announced, a few bytes at a time), each connection answered on its own thread.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "support/loopback_server.h"

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
    void Set(const std::string& path, Route route) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = std::move(route);
    }
    std::string Url(const std::string& path) const { return server_.Url(path); }

  private:
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
                for (int i = 0; i < 500 && !server_.Stopping(); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                break;
            case Behaviour::MoreThanAnnounced:
                // Announces nothing and keeps sending: only the client's limit stops it.
                Send(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + b + b);
                break;
            case Behaviour::Truncated:
                Send(fd, Head(200, b.size()) + b.substr(0, b.size() - 10));
                break;
            case Behaviour::Trickle:
                // 2 bytes every 250 ms, never stalling, until the client gives up.
                if (!Send(fd, Head(200, b.size()))) break;
                for (std::size_t at = 0; at < b.size() && !server_.Stopping(); at += 2) {
                    if (!Send(fd, b.substr(at, 2))) break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                }
                break;
        }
    }

    static std::string Head(int status, std::size_t length, const std::string& extra = "") {
        return "HTTP/1.1 " + std::to_string(status) +
               " X\r\nContent-Length: " + std::to_string(length) + "\r\nConnection: close\r\n" +
               extra + "\r\n";
    }
    static bool Send(int fd, const std::string& data) {
        return test::LoopbackServer::SendAll(fd, data);
    }

    std::mutex mutex_;
    std::map<std::string, Route> routes_;
    // Last, so that it starts after and stops before everything its answers use.
    test::LoopbackServer server_{[this](int fd, const std::string& request) {
                                     Answer(fd, test::LoopbackServer::PathOf(request));
                                 },
                                 test::LoopbackServer::Answers::EachOnItsOwnThread};
};

}  // namespace korvel::update_test
