// A small HTTP server on 127.0.0.1 for the tests: serves canned answers by
// path, and can misbehave (never answer, trickle, send too much). It only
// ever listens on the loopback address and stops with its owner.
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

namespace varnoke::test {

class HttpServer {
public:
    enum class Behaviour { answer, never_answer, trickle };
    struct Response {
        int status = 200;
        std::string body;
        Behaviour behaviour = Behaviour::answer;
        std::size_t trickleBytes = 1;  // per pause, when trickling
        int trickleMilliseconds = 50;
    };

    HttpServer() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 16);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HttpServer() {
        stopping_ = true;
        thread_.join();
        close(listener_);
    }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    void Set(const std::string& path, Response response) {
        std::lock_guard lock(mutex_);
        responses_[path] = std::move(response);
    }
    // Paths requested so far, in order.
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        std::vector<int> held;  // connections left unanswered until the end
        while (!stopping_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd c{client, POLLIN, 0};
                if (poll(&c, 1, 2000) <= 0) break;
                const ssize_t n = read(client, buffer, sizeof buffer);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            const auto start = request.find(' ') + 1;
            const std::string path = request.substr(start, request.find(' ', start) - start);
            Response response{404, "not found", Behaviour::answer};
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(path);
                if (auto it = responses_.find(path); it != responses_.end()) response = it->second;
            }
            if (response.behaviour == Behaviour::never_answer) {
                held.push_back(client);
                continue;
            }
            const std::string head = "HTTP/1.1 " + std::to_string(response.status) +
                                     " X\r\nContent-Length: " + std::to_string(response.body.size()) +
                                     "\r\nConnection: close\r\n\r\n";
            Send(client, head);
            if (response.behaviour == Behaviour::trickle) {
                // A few bytes at a time, until the body ends or the client gives up.
                for (std::size_t at = 0; at < response.body.size(); at += response.trickleBytes) {
                    if (stopping_ || !Send(client, response.body.substr(at, response.trickleBytes))) break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(response.trickleMilliseconds));
                }
            } else {
                Send(client, response.body);
            }
            close(client);
        }
        for (int c : held) close(c);
    }
    static bool Send(int fd, const std::string& data) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::vector<std::string> requests_;
};

}  // namespace varnoke::test
