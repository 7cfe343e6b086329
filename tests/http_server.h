// A small HTTP server on 127.0.0.1 for the tests of every platform: serves
// canned answers by path and can misbehave (never answer, trickle, stall, cut
// the body short). It only ever listens on the loopback address and stops
// with its owner.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace varnoke::test {

// The little of each socket interface the server uses.
namespace net {
#ifdef _WIN32
using Socket = SOCKET;
using Length = int;
inline constexpr Socket kNone = INVALID_SOCKET;
struct Startup {
    bool ok;
    Startup() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Startup() {
        if (ok) WSACleanup();
    }
};
inline Socket Open() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }
inline Socket Accept(Socket listener) { return accept(listener, nullptr, nullptr); }
inline void SetNonBlocking(Socket s) {
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
}
inline int SendSome(Socket s, const char* data, std::size_t size) { return send(s, data, static_cast<int>(size), 0); }
inline bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
inline void EndSending(Socket s) { shutdown(s, SD_SEND); }
inline void Close(Socket s) { closesocket(s); }
#else
using Socket = int;
using Length = socklen_t;
inline constexpr Socket kNone = -1;
struct Startup {
    bool ok = true;
};
// Not inherited by the programs the tests start.
inline Socket Open() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
inline Socket Accept(Socket listener) { return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }
inline void SetNonBlocking(Socket s) { fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK); }
inline int SendSome(Socket s, const char* data, std::size_t size) {
    return static_cast<int>(send(s, data, size, MSG_NOSIGNAL));
}
inline bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
inline void EndSending(Socket s) { shutdown(s, SHUT_WR); }
inline void Close(Socket s) { close(s); }
#endif
}  // namespace net

class HttpServer {
public:
    enum class Behaviour {
        answer,
        never_answer,  // reads the request, then holds the connection silently
        trickle,       // the body a little at a time (by default one byte every 50 ms)
        stall,         // half the body at the trickle's pace, then silence
        no_length,     // no Content-Length: the body ends when the connection closes
        short_body,    // announces more than it sends, then closes
    };
    struct Response {
        Response() = default;
        Response(int s, std::string b, Behaviour h = Behaviour::answer, std::string l = {})
            : status(s), body(std::move(b)), behaviour(h), location(std::move(l)) {}
        // Trickled `bytes` at a time, a pause of `milliseconds` after each.
        Response(int s, std::string b, Behaviour h, std::size_t bytes, int milliseconds)
            : status(s), body(std::move(b)), behaviour(h), trickleBytes(bytes), trickleMilliseconds(milliseconds) {}
        int status = 200;
        std::string body;
        Behaviour behaviour = Behaviour::answer;
        std::string location;  // a Location header, for redirects
        std::size_t trickleBytes = 1;
        int trickleMilliseconds = 50;
    };

    HttpServer() {
        listener_ = net::Open();
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 16);
        net::Length length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HttpServer() {
        stopping_ = true;
        thread_.join();
        net::Close(listener_);
    }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Whether the server is listening: tests are meaningless otherwise.
    bool Listening() const { return port_ != 0; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::u16string Url16(const std::string& path) const {
        const std::string url = Url(path);
        return std::u16string(url.begin(), url.end());
    }
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
    static bool Readable(net::Socket s, long milliseconds) { return Ready(s, milliseconds, false); }
    static bool Writable(net::Socket s, long milliseconds) { return Ready(s, milliseconds, true); }
    static bool Ready(net::Socket s, long milliseconds, bool writing) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
        return select(static_cast<int>(s) + 1, writing ? nullptr : &set, writing ? &set : nullptr, nullptr, &wait) > 0;
    }

    void Serve() {
        std::vector<net::Socket> held;  // connections left unanswered until the end
        while (!stopping_) {
            if (!Readable(listener_, 50)) continue;
            const net::Socket client = net::Accept(listener_);
            if (client == net::kNone) continue;
            // A client that stops reading a long body must not hold the
            // server, and its owner's destructor, in a send for ever.
            net::SetNonBlocking(client);
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                if (!Readable(client, 2000)) break;
                const int n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            const auto start = request.find(' ') + 1;
            const std::string path = request.substr(start, request.find(' ', start) - start);
            Response response{404, "not found"};
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(path);
                if (auto it = responses_.find(path); it != responses_.end()) response = it->second;
            }
            if (response.behaviour == Behaviour::never_answer) {
                held.push_back(client);
                continue;
            }
            std::string head = "HTTP/1.1 " + std::to_string(response.status) + " X\r\n";
            if (response.behaviour == Behaviour::short_body)
                head += "Content-Length: " + std::to_string(response.body.size() + 10) + "\r\n";
            else if (response.behaviour != Behaviour::no_length)
                head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
            if (!response.location.empty()) head += "Location: " + response.location + "\r\n";
            head += "Connection: close\r\n\r\n";
            Send(client, head);
            if (response.behaviour == Behaviour::trickle || response.behaviour == Behaviour::stall) {
                // Until the body (or its first half) ends or the client gives up.
                const bool stall = response.behaviour == Behaviour::stall;
                const std::size_t end = stall ? response.body.size() / 2 : response.body.size();
                for (std::size_t at = 0; at < end; at += response.trickleBytes) {
                    const std::size_t size = std::min(response.trickleBytes, end - at);
                    if (stopping_ || !Send(client, response.body.substr(at, size))) break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(response.trickleMilliseconds));
                }
                if (stall) {
                    held.push_back(client);
                    continue;
                }
            } else {
                Send(client, response.body);
            }
            net::EndSending(client);
            net::Close(client);
        }
        for (net::Socket c : held) net::Close(c);
    }
    // Gives up when the client goes, or stops reading while the server stops.
    bool Send(net::Socket s, const std::string& data) const {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const int n = net::SendSome(s, data.data() + sent, data.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && net::WouldBlock() && !stopping_) {
                Writable(s, 50);
            } else {
                return false;
            }
        }
        return true;
    }

    net::Startup startup_;
    net::Socket listener_ = net::kNone;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::vector<std::string> requests_;
};

}  // namespace varnoke::test
