// Fetching an http or https address within bounds, with libcurl: the fetch
// port on POSIX.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "adapters/platform.h"
#include "core/unicode.h"

namespace varnoke::adapters::posix {
namespace {

// http and https only, redirects included; a status of 400 or above, a
// body past the size bound or a transfer past the time bounds is a failure.
std::optional<std::string> FetchBounded(const std::string& url, const hostapi::FetchLimits& limits,
                                        std::chrono::steady_clock::time_point deadline) {
    // The caller's deadline shortens both time bounds; past it nothing is sent.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    const long totalMs = static_cast<long>(
        std::min<long long>({hostapi::BoundSeconds(limits.totalSeconds) * 1000LL, left.count(), 0x7FFFFFFF}));
    const long connectMs = std::min(hostapi::BoundSeconds(limits.connectSeconds) * 1000, totalMs);
    struct Sink {
        std::string body;
        long max;
        static size_t Write(char* data, size_t size, size_t count, void* self) {
            auto* sink = static_cast<Sink*>(self);
            const size_t n = size * count;
            if (sink->body.size() + n > static_cast<size_t>(sink->max)) return 0;  // aborts the transfer
            sink->body.append(data, n);
            return n;
        }
    } sink{{}, limits.maxBytes};
    CURL* curl = curl_easy_init();
    if (!curl) return std::nullopt;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, totalMs);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE, limits.maxBytes);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // a host's threads and signals are its own
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Sink::Write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK) return std::nullopt;
    return std::move(sink.body);
}

class Fetcher final : public hostapi::IFetch {
public:
    explicit Fetcher(const hostapi::FetchLimits& limits) : limits_(limits) {}
    std::optional<std::string> Fetch(std::u16string_view url, std::chrono::steady_clock::time_point deadline) override {
        return FetchBounded(Utf16ToUtf8(url), limits_, deadline);
    }

private:
    hostapi::FetchLimits limits_;
};

}  // namespace
}  // namespace varnoke::adapters::posix

namespace varnoke::adapters {

std::unique_ptr<hostapi::IFetch> NewFetch(const hostapi::FetchLimits& limits) {
    return std::make_unique<posix::Fetcher>(limits);
}

}  // namespace varnoke::adapters
