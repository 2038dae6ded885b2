#include "platform/net/ASIHTTPRequest.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <span>
#include <variant>
#include <vector>

#include "platform/foundation/DisplayText.h"
#include "platform/runtime/RunLoop.h"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The loop polls at least this often while transfers run, in case libcurl wants a call sooner
// than its timer said (a resolver thread finishing, a queued transfer getting a connection).
constexpr auto kLongestWait = std::chrono::milliseconds(100);
// Beyond this a time-out is a mistake, not a wish; a request must always end eventually.
constexpr double kLongestTimeOutSeconds = 24.0 * 60 * 60;
// Many requests at once share a bounded number of sockets; the others wait their turn (the wait
// counts towards their time-outs).
constexpr long kMaxConnections = 32;
// Far beyond any real document address; a longer one is an attack or a mistake.
constexpr size_t kLongestURL = 64 * 1024;
constexpr size_t kLongestHostName = 253;

CURL* easyOf(void* p) {
    return static_cast<CURL*>(p);
}

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

std::optional<std::string> urlPart(CURLU* url, CURLUPart part) {
    char* value = nullptr;
    if (curl_url_get(url, part, &value, 0) != CURLUE_OK || !value) return std::nullopt;
    std::string result(value);
    curl_free(value);
    return result;
}

// A refused address as error texts show it: control characters could forge log lines, and a
// hostile address can be any length.
constexpr size_t kLongestShownURL = 200;

struct CheckedURL {
    std::string full;     // what libcurl fetches
    std::string display;  // the same without user name and password
};

// An absolute http:// or https:// URL with a host, or the reason it is not one.
std::variant<CheckedURL, std::string> checkURL(const std::string& text) {
    if (text.empty()) return std::string("the address is empty");
    // libcurl reads C strings: whatever follows a NUL would be dropped, fetching another address.
    if (text.find('\0') != std::string::npos) return std::string("the address holds a NUL character");
    if (text.size() > kLongestURL)
        return fmt::format("the address is longer than the {} characters allowed", kLongestURL);
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) return std::string("libcurl could not be set up");
    // Without CURLU_ALLOW_SPACE and friends libcurl refuses spaces and control characters.
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
        return std::string("the address is not a well-formed absolute URL");
    auto scheme = urlPart(url.get(), CURLUPART_SCHEME);
    if (!scheme || (*scheme != "http" && *scheme != "https"))
        return fmt::format("only http:// and https:// addresses can be fetched, not {}://",
                           scheme.value_or("?"));
    auto host = urlPart(url.get(), CURLUPART_HOST);
    if (!host || host->empty()) return std::string("the address names no host");
    if (host->size() > kLongestHostName) return std::string("the host name is longer than DNS allows");
    auto full = urlPart(url.get(), CURLUPART_URL);
    curl_url_set(url.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0);
    auto display = urlPart(url.get(), CURLUPART_URL);
    if (!full || !display) return std::string("the address is not a well-formed absolute URL");
    return CheckedURL{*full, *display};
}

}  // namespace

// The one libcurl multi handle of the process, a run-loop source of the main loop in every mode
// while a transfer runs. It owns the started requests until their transfers end, and never runs
// a request's block itself: blocks go to the main queue after the transfer left libcurl.
class HTTPTransferDriver final : private RunLoopSource {
public:
    static HTTPTransferDriver& shared() {
        // Never destroyed: requests may still be in flight when the process exits, and the
        // run loop it is registered with is a static of its own.
        static auto* driver = new HTTPTransferDriver;
        return *driver;
    }

    size_t activeCount() const { return m_active.size(); }

    std::optional<std::string> start(const std::shared_ptr<ASIHTTPRequest>& request, const std::string& url) {
        CURL* easy = curl_easy_init();
        if (!easy || !m_multi) {
            if (easy) curl_easy_cleanup(easy);
            return std::string("libcurl could not be set up");
        }
        auto& r = *request;
        auto timeoutMs = static_cast<long>(std::ceil(r.m_timeOutSeconds * 1000.0));
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, ASIHTTPRequest::kMaxRedirects);
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, r.m_curlError.data());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HTTPTransferDriver::writeCallback);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &r);
        curl_easy_setopt(easy, CURLOPT_PRIVATE, &r);
        // A body announced as too large fails before any of it arrives; 0 would mean no limit.
        if (r.m_maxResponseBytes > 0 && r.m_maxResponseBytes < static_cast<size_t>(INT64_MAX))
            curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(r.m_maxResponseBytes));
        if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
            curl_easy_cleanup(easy);
            return std::string("libcurl refused the transfer");
        }
        r.m_easy = easy;
        m_active.emplace(easy, request);
        // Added every time: a test may have reset the loop since the last transfer.
        RunLoop::main().addSource(this, kCommonModes);
        return std::nullopt;
    }

    // Takes the request's transfer out of libcurl; no callback of it runs afterwards.
    void detach(ASIHTTPRequest& request) {
        CURL* easy = easyOf(request.m_easy);
        if (!easy) return;
        curl_multi_remove_handle(m_multi, easy);
        curl_easy_cleanup(easy);
        request.m_easy = nullptr;
        // Callers hold a reference of their own: this may be the map's last one.
        m_active.erase(easy);
        if (m_active.empty()) {
            m_deadline.reset();
            RunLoop::main().removeSource(this);
        }
    }

private:
    HTTPTransferDriver() {
        RunLoop::main();  // constructed first, so it outlives every use made here
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        m_multi = curl_multi_init();
        if (!m_multi) return;
        curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &HTTPTransferDriver::socketCallback);
        curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &HTTPTransferDriver::timerCallback);
        curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
        curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, kMaxConnections);
    }

    void collectPollFds(std::vector<pollfd>& fds) override {
        for (const auto& [fd, events] : m_sockets) fds.push_back(pollfd{fd, events, 0});
    }

    std::optional<std::chrono::milliseconds> maxWait() override {
        if (m_active.empty()) return std::nullopt;
        if (!m_deadline) return kLongestWait;
        auto untilDeadline = std::chrono::ceil<std::chrono::milliseconds>(*m_deadline - SteadyClock::now());
        return std::clamp(untilDeadline, std::chrono::milliseconds(0), kLongestWait);
    }

    void perform(std::span<const pollfd> polled) override {
        int running = 0;
        for (const auto& p : polled) {
            // A socket closed by an earlier action in this pass is not libcurl's any more.
            if (!p.revents || !m_sockets.count(p.fd)) continue;
            int mask = 0;
            if (p.revents & (POLLIN | POLLHUP)) mask |= CURL_CSELECT_IN;
            if (p.revents & POLLOUT) mask |= CURL_CSELECT_OUT;
            if (p.revents & (POLLERR | POLLNVAL)) mask |= CURL_CSELECT_ERR;
            curl_multi_socket_action(m_multi, p.fd, mask, &running);
        }
        if (!m_active.empty() && (!m_deadline || SteadyClock::now() >= *m_deadline)) {
            m_deadline.reset();
            curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
        }
        collectFinished();
    }

    void collectFinished() {
        int left = 0;
        std::vector<std::pair<CURL*, CURLcode>> done;
        while (CURLMsg* msg = curl_multi_info_read(m_multi, &left))
            if (msg->msg == CURLMSG_DONE) done.emplace_back(msg->easy_handle, msg->data.result);
        for (auto [easy, result] : done) {
            auto it = m_active.find(easy);
            if (it == m_active.end()) continue;
            auto request = it->second;
            long status = 0;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
            std::optional<std::string> why;
            if (request->m_tooLarge || result == CURLE_FILESIZE_EXCEEDED)
                why = fmt::format("the response is larger than the {} bytes allowed",
                                  request->m_maxResponseBytes);
            else if (result != CURLE_OK)
                why = request->m_curlError[0] ? std::string(request->m_curlError.data())
                                              : std::string(curl_easy_strerror(result));
            else if (status <= 0)
                why = std::string("the server sent no HTTP response");
            detach(*request);
            request->finish(static_cast<int>(status), std::move(why));
        }
    }

    static size_t writeCallback(char* data, size_t size, size_t count, void* userData) {
        auto* request = static_cast<ASIHTTPRequest*>(userData);
        size_t n = size * count;
        // Any other count than n makes libcurl abort the transfer with a write error.
        return request->appendBody(data, n) ? n : 0;
    }

    static int socketCallback(CURL*, curl_socket_t fd, int what, void* self, void*) {
        auto& sockets = static_cast<HTTPTransferDriver*>(self)->m_sockets;
        if (what == CURL_POLL_REMOVE) {
            sockets.erase(fd);
        } else {
            short events = 0;
            if (what & CURL_POLL_IN) events |= POLLIN;
            if (what & CURL_POLL_OUT) events |= POLLOUT;
            sockets[fd] = events;
        }
        return 0;
    }

    static int timerCallback(CURLM*, long timeoutMs, void* self) {
        auto& deadline = static_cast<HTTPTransferDriver*>(self)->m_deadline;
        if (timeoutMs < 0)
            deadline.reset();
        else
            deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
        return 0;
    }

    CURLM* m_multi = nullptr;
    std::map<CURL*, std::shared_ptr<ASIHTTPRequest>> m_active;
    std::map<int, short> m_sockets;  // descriptor -> poll events libcurl waits for
    std::optional<SteadyClock::time_point> m_deadline;
};

std::shared_ptr<ASIHTTPRequest> ASIHTTPRequest::requestWithURL(const std::string& url) {
    return std::make_shared<ASIHTTPRequest>(Tag{}, url);
}

ASIHTTPRequest::ASIHTTPRequest(Tag, std::string url) : m_url(std::move(url)) {}

// A request with a transfer is owned by the driver, so none is ever destroyed in flight.
ASIHTTPRequest::~ASIHTTPRequest() = default;

void ASIHTTPRequest::setCompletionBlock(std::function<void()> block) {
    if (!m_cancelled) m_completion = std::move(block);
}

void ASIHTTPRequest::setFailedBlock(std::function<void()> block) {
    if (!m_cancelled) m_failed = std::move(block);
}

void ASIHTTPRequest::setTimeOutSeconds(double seconds) {
    if (m_state != State::Ready) return;
    // Zero, negative or NaN would mean "never" to libcurl: a request that can hang for good.
    if (!(seconds > 0)) seconds = kDefaultTimeOutSeconds;
    m_timeOutSeconds = std::min(seconds, kLongestTimeOutSeconds);
}

void ASIHTTPRequest::setMaxResponseBytes(size_t bytes) {
    if (m_state == State::Ready) m_maxResponseBytes = bytes;
}

void ASIHTTPRequest::startAsynchronous() {
    if (m_state != State::Ready || m_cancelled) return;
    m_state = State::Running;
    auto checked = checkURL(m_url);
    if (auto* why = std::get_if<std::string>(&checked)) {
        m_displayURL = DisplayText::printable(m_url, kLongestShownURL);
        return finish(0, *why);
    }
    auto& url = std::get<CheckedURL>(checked);
    m_displayURL = DisplayText::printable(url.display, kLongestShownURL);
    if (auto why = HTTPTransferDriver::shared().start(shared_from_this(), url.full)) finish(0, *why);
}

void ASIHTTPRequest::cancel() {
    if (m_cancelled) return;
    m_cancelled = true;
    // The blocks may hold the caller's objects, or this request; they will never run.
    m_completion = nullptr;
    m_failed = nullptr;
    if (m_state == State::Finished) return;
    auto keepAlive = shared_from_this();
    m_state = State::Finished;
    m_error = "the request was cancelled";
    m_body.clear();
    HTTPTransferDriver::shared().detach(*this);
}

bool ASIHTTPRequest::isFinished() const {
    return m_state == State::Finished;
}

int ASIHTTPRequest::responseStatusCode() const {
    return m_status;
}

const std::string& ASIHTTPRequest::responseData() const {
    return m_body;
}

const std::string& ASIHTTPRequest::url() const {
    return m_url;
}

std::optional<std::string> ASIHTTPRequest::error() const {
    return m_error;
}

size_t ASIHTTPRequest::activeRequestCount() {
    return HTTPTransferDriver::shared().activeCount();
}

bool ASIHTTPRequest::appendBody(const char* data, size_t size) {
    if (size > m_maxResponseBytes - std::min(m_body.size(), m_maxResponseBytes)) {
        m_tooLarge = true;
        return false;
    }
    m_body.append(data, size);
    return true;
}

void ASIHTTPRequest::finish(int status, std::optional<std::string> why) {
    m_state = State::Finished;
    m_status = status;
    if (why) {
        // A partial body is no answer; nobody should mistake it for one.
        m_body.clear();
        m_body.shrink_to_fit();
        m_error = fmt::format("HTTP request for {} failed: {}", m_displayURL, *why);
    }
    RunLoop::main().dispatchAsync([self = shared_from_this()] { self->deliver(); });
}

void ASIHTTPRequest::deliver() {
    if (m_cancelled) return;
    // Both blocks go now: a block holding this request would otherwise keep it alive for good.
    auto completion = std::move(m_completion);
    auto failed = std::move(m_failed);
    m_completion = nullptr;
    m_failed = nullptr;
    if (m_error) {
        if (failed) failed();
    } else if (completion) {
        completion();
    }
}

}  // namespace platform
