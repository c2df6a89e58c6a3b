// The version-check tests' server on 127.0.0.1: connections one after another with a
// scripted behaviour, recording what the client sent.
#pragma once

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_server.h"

namespace korvel::testing {

using test::RefusingPort;

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
        : mode_(mode), responses_(std::move(responses)) {}

    // A complete response with the given status line, body and optional extra headers.
    static std::string Response(int status, const std::string& body,
                                const std::string& extraHeaders = "") {
        std::string reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Status";
        return "HTTP/1.1 " + std::to_string(status) + " " + reason +
               "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
    }

    int Port() const { return server_.Port(); }
    std::string Url(const std::string& path = "/korvelver.txt") const { return server_.Url(path); }
    // Every request that carried bytes, in order.
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    int Connections() const { return server_.Connections(); }

  private:
    void Answer(int fd, const std::string& request) {
        if (request.empty()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        const auto n = static_cast<std::size_t>(server_.Connections() - 1);
        if (mode_ == ServerMode::Silent) {
            while (!server_.Stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (mode_ == ServerMode::Flood || mode_ == ServerMode::Trickle) {
            Flood(fd, mode_ == ServerMode::Trickle);
        } else {
            test::LoopbackServer::SendAll(fd, responses_[std::min(n, responses_.size() - 1)]);
        }
    }

    // Headers that never end.
    void Flood(int fd, bool paced) {
        test::LoopbackServer::SendAll(fd, "HTTP/1.1 200 OK\r\n");
        for (int i = 0; !server_.Stopping(); ++i) {
            const std::string line =
                "X-Flood-" + std::to_string(i) + ": " + std::string(64, 'x') + "\r\n";
            if (!test::LoopbackServer::SendAll(fd, line)) return;
            if (paced) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ServerMode mode_;
    std::vector<std::string> responses_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    // Last, so that it starts after and stops before everything its answers use.
    test::LoopbackServer server_{[this](int fd, const std::string& r) { Answer(fd, r); },
                                 test::LoopbackServer::Answers::OneAfterAnother,
                                 std::chrono::seconds(20)};
};

}  // namespace korvel::testing
