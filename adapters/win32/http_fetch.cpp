// Fetching an http or https address within bounds, with WinHTTP: the fetch
// port on Windows.
#include <windows.h>
// after windows.h, which it needs
#include <winhttp.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "adapters/platform.h"

namespace varnoke::adapters::win32 {

using namespace hostapi;  // the ports this file implements
namespace {

// Web addresses are fetched here rather than by the DOM's own load: that
// load, synchronous as the component needs it, has no bound on time or size,
// so a server that accepts and never answers would freeze the host's thread.
// WinHTTP bounds each operation; FetchWithin below bounds the whole.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h) : h_(h) {}
    ~InternetHandle() {
        if (h_) WinHttpCloseHandle(h_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

// The user's static proxy, as the DOM's own load would use it; otherwise the
// machine's WinHTTP setting. Automatic configuration (discovery, scripts) is
// left out: it runs outside the bounds above.
InternetHandle OpenSession() {
    constexpr const wchar_t* kAgent = L"Varnoke/1.0";
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    std::wstring proxy, bypass;
    if (WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        if (user.lpszProxy) proxy = user.lpszProxy;
        if (user.lpszProxyBypass) bypass = user.lpszProxyBypass;
        for (LPWSTR s : {user.lpszAutoConfigUrl, user.lpszProxy, user.lpszProxyBypass})
            if (s) GlobalFree(s);
    }
    if (!proxy.empty())
        return InternetHandle(WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(),
                                          bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), 0));
    return InternetHandle(
        WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
}

std::optional<DWORD> NumericHeader(HINTERNET request, DWORD query) {
    DWORD value = 0, size = sizeof value;
    if (!WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    return value;
}

// The declared body length, if the server gave a readable one.
std::optional<unsigned long long> ContentLength(HINTERNET request) {
    wchar_t text[32];
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    std::string digits;
    for (const wchar_t* p = text; *p; ++p) digits.push_back(*p < 128 ? static_cast<char>(*p) : '?');
    unsigned long long length = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return length;
}

using Clock = std::chrono::steady_clock;

// http and https only, redirects included (WinHTTP follows no other
// scheme, and never from https to http); anything but a 2xx answer, a body
// past the size bound or a transfer past the time bounds is a failure.
std::optional<std::string> Fetch(const std::u16string& url, const FetchLimits& limits, Clock::time_point deadline) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    const auto* address = reinterpret_cast<const wchar_t*>(url.c_str());
    if (!WinHttpCrackUrl(address, static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    // The path and the query are adjacent in the address.
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";

    const InternetHandle session = OpenSession();
    if (!session) return std::nullopt;
    // Each operation may take the whole budget (what is left of it when the
    // caller set a deadline); 0 would mean no timeout at all.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    const int totalMs = static_cast<int>(std::min<long long>(BoundSeconds(limits.totalSeconds) * 1000LL, left));
    const int connectMs = std::min(static_cast<int>(BoundSeconds(limits.connectSeconds) * 1000), totalMs);
    if (!WinHttpSetTimeouts(session.get(), connectMs, connectMs, totalMs, totalMs)) return std::nullopt;
    const InternetHandle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return std::nullopt;
    const InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                    parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return std::nullopt;
    // Options an older system lacks keep their defaults.
    DWORD redirects = 5;  // as many as the POSIX adapter follows
    WinHttpSetOption(request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
    DWORD headersMs = static_cast<DWORD>(totalMs);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersMs, sizeof headersMs);

    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return std::nullopt;
    // 3xx here is a redirect WinHTTP would not follow.
    const auto status = NumericHeader(request.get(), WINHTTP_QUERY_STATUS_CODE);
    if (!status || *status < 200 || *status > 299) return std::nullopt;
    const auto maxBytes = static_cast<unsigned long long>(std::max(limits.maxBytes, 0L));
    const auto declared = ContentLength(request.get());
    if (declared && *declared > maxBytes) return std::nullopt;

    std::string body;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.get(), &available)) return std::nullopt;
        if (available == 0) break;
        if (body.size() + available > maxBytes) return std::nullopt;
        const std::size_t had = body.size();
        body.resize(had + available);
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), body.data() + had, available, &read)) return std::nullopt;
        body.resize(had + read);
        // A trickle passes every per-read timeout: only the clock sees it.
        if (Clock::now() >= deadline) return std::nullopt;
        if (read == 0) break;
    }
    // A connection closed early leaves a prefix, which may still parse.
    if (declared && body.size() != *declared) return std::nullopt;
    return body;
}

// Keeps this module loaded for the rest of the process: a fetch left
// running must never return into unloaded code.
void PinThisModule() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&PinThisModule), &self);
}

// WinHTTP's timeouts bound single operations only, and an operation under
// way keeps the timeout it started with (Wine does not shorten it), so
// silence late in a transfer could take the whole budget again. The fetch
// therefore runs on its own thread and the caller waits no longer than the
// total bound; a fetch past it is left to end on its own timeouts.
std::optional<std::string> FetchWithin(std::u16string_view url, const FetchLimits& limits,
                                       Clock::time_point callersDeadline) {
    struct Outcome {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        std::optional<std::string> body;
    };
    const auto deadline =
        std::min(Clock::now() + std::chrono::seconds(BoundSeconds(limits.totalSeconds)), callersDeadline);
    if (deadline <= Clock::now()) return std::nullopt;
    auto outcome = std::make_shared<Outcome>();
    std::thread worker;
    try {
        worker = std::thread([outcome, address = std::u16string(url), limits, deadline] {
            std::optional<std::string> body;
            try {
                body = Fetch(address, limits, deadline);
            } catch (...) {  // out of memory: a failed fetch, never a dead host
            }
            std::lock_guard lock(outcome->mutex);
            outcome->body = std::move(body);
            outcome->done = true;
            outcome->finished.notify_all();
        });
    } catch (const std::system_error&) {
        return std::nullopt;  // no thread to be had
    }
    std::unique_lock lock(outcome->mutex);
    if (outcome->finished.wait_until(lock, deadline, [&] { return outcome->done; })) {
        lock.unlock();
        worker.join();
        return std::move(outcome->body);
    }
    lock.unlock();
    PinThisModule();
    worker.detach();
    return std::nullopt;
}

class Fetcher final : public IFetch {
public:
    explicit Fetcher(const FetchLimits& limits) : limits_(limits) {}
    std::optional<std::string> Fetch(std::u16string_view url, std::chrono::steady_clock::time_point deadline) override {
        return FetchWithin(url, limits_, deadline);
    }

private:
    FetchLimits limits_;
};

}  // namespace
}  // namespace varnoke::adapters::win32

namespace varnoke::adapters {

std::unique_ptr<hostapi::IFetch> NewFetch(const hostapi::FetchLimits& limits) {
    return std::make_unique<win32::Fetcher>(limits);
}

}  // namespace varnoke::adapters
