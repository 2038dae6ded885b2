#pragma once

// ASIHTTPRequest: one HTTP(S) GET, run asynchronously on the main run loop.
//
// requestWithURL(url) -> optional settings -> startAsynchronous(). The transfer runs on libcurl's
// multi interface, which the main run loop drives in the default and the modal mode (a reply can
// arrive while a modal alert runs) without ever blocking on the network. When the transfer ends
// the request leaves the multi handle first, and only then its block runs, from a main-queue
// block: a completion block may run a nested modal loop without holding any transfer state.
//
// Outcomes. Any HTTP response, whatever its status (404 and 500 included), is a completion:
// responseStatusCode() and responseData() hold what the server sent; a 304 has no body by
// definition, so one arrives with an empty body even when the server sent bytes after it.
// Everything else is a
// failure and runs only the failed block, if any: a URL that is not http:// or https:// or is
// malformed (reported at start, never thrown), no connection, a time-out, a body larger than the
// maximum, more than five redirects or a redirect to another scheme. error() names what failed.
//
// Time-out: the request gives up when that much time passed since the start without the
// response being complete; it is measured on real time, as the network runs on it.
//
// Lifetime: a started request is kept alive by the client until it finishes. cancel() stops it;
// no block runs afterwards. Blocks run at most once, and exactly one of them per started request
// that was not cancelled (the failed block is optional). Only the main thread may use requests.

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// A GET on libcurl's multi interface, driven by the main run loop: the completion block runs on
// the main thread once the response is complete; nothing runs on a failed transfer except the
// optional failed block. The client keeps a started request alive until it finishes.
class ASIHTTPRequest : public std::enable_shared_from_this<ASIHTTPRequest> {
    struct Tag {};

public:
    static constexpr double kDefaultTimeOutSeconds = 30.0;
    static constexpr size_t kDefaultMaxResponseBytes = size_t{4} << 20;
    static constexpr long kMaxRedirects = 5;

    static std::shared_ptr<ASIHTTPRequest> requestWithURL(const std::string& url);
    ASIHTTPRequest(Tag, std::string url);
    ~ASIHTTPRequest();
    ASIHTTPRequest(const ASIHTTPRequest&) = delete;
    ASIHTTPRequest& operator=(const ASIHTTPRequest&) = delete;

    void setCompletionBlock(std::function<void()> block);
    void setFailedBlock(std::function<void()> block);  // optional; the framework sets none
    void setTimeOutSeconds(double seconds);            // default 30
    void setMaxResponseBytes(size_t bytes);            // default 4 MiB; larger: failed
    void startAsynchronous();                          // returns at once
    void cancel();                                     // no block runs afterwards
    bool isFinished() const;
    int responseStatusCode() const;  // 0 before a response
    const std::string& responseData() const;
    const std::string& url() const;
    std::optional<std::string> error() const;  // what failed, for logs
    static size_t activeRequestCount();        // started, not finished

    bool isCancelled() const { return m_cancelled; }
    double timeOutSeconds() const { return m_timeOutSeconds; }
    size_t maxResponseBytes() const { return m_maxResponseBytes; }

private:
    friend class HTTPTransferDriver;

    enum class State { Ready, Running, Finished };

    void finish(int status, std::optional<std::string> why);
    void deliver();
    bool appendBody(const char* data, size_t size);

    std::string m_url;
    std::string m_displayURL;  // without credentials, for error texts
    std::function<void()> m_completion;
    std::function<void()> m_failed;
    double m_timeOutSeconds = kDefaultTimeOutSeconds;
    size_t m_maxResponseBytes = kDefaultMaxResponseBytes;
    State m_state = State::Ready;
    bool m_cancelled = false;
    bool m_tooLarge = false;
    int m_status = 0;
    std::string m_body;
    std::optional<std::string> m_error;
    void* m_easy = nullptr;  // the libcurl handle while the transfer runs
    std::array<char, 256> m_curlError{};
};

}  // namespace platform
