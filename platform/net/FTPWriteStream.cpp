#include "platform/net/FTPWriteStream.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/foundation/PercentEncoding.h"

namespace platform {

using SteadyClock = std::chrono::steady_clock;

namespace {

// Longer than the longest wait maxWait() allows: a longer gap between passes means the loop
// did not drive the stream (a modal run, a long callback), which is not the server stalling.
constexpr auto kUndrivenGap = std::chrono::milliseconds(1000);
constexpr auto kLongestWait = std::chrono::milliseconds(250);
// Space events delivered in one pass, so a delegate filling the buffer in small pieces cannot
// keep the loop from everything else.
constexpr int kMaxSpaceEventsPerPass = 16;

CURLM* multiOf(void* p) {
    return static_cast<CURLM*>(p);
}
CURL* easyOf(void* p) {
    return static_cast<CURL*>(p);
}

void ensureCurlInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool hasControlCharacter(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

UrlHandle parseURL(std::string_view text) {
    UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, std::string(text).c_str(), 0) != CURLUE_OK)
        return nullptr;
    return url;
}

std::optional<std::string> urlPart(CURLU* url, CURLUPart part) {
    char* value = nullptr;
    if (curl_url_get(url, part, &value, 0) != CURLUE_OK || !value) return std::nullopt;
    std::string result(value);
    curl_free(value);
    return result;
}

}  // namespace

std::optional<std::string> urlByAppendingPathComponent(std::string_view baseURL, std::string_view component) {
    if (component.empty() || component == "." || component == ".." ||
        component.find('/') != std::string_view::npos || hasControlCharacter(component))
        return std::nullopt;
    auto url = parseURL(baseURL);
    if (!url) return std::nullopt;
    std::string path = urlPart(url.get(), CURLUPART_PATH).value_or("/");
    if (path.empty() || path.back() != '/') path += '/';
    path += PercentEncoding::encoded(component);
    if (curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK) return std::nullopt;
    return urlPart(url.get(), CURLUPART_URL);
}

std::shared_ptr<FTPWriteStream> FTPWriteStream::create(std::string_view url) {
    auto parsed = parseURL(url);
    if (!parsed) return nullptr;
    auto scheme = urlPart(parsed.get(), CURLUPART_SCHEME);
    auto host = urlPart(parsed.get(), CURLUPART_HOST);
    if (!scheme || *scheme != "ftp" || !host || host->empty()) return nullptr;
    auto full = urlPart(parsed.get(), CURLUPART_URL);
    curl_url_set(parsed.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(parsed.get(), CURLUPART_PASSWORD, nullptr, 0);
    auto display = urlPart(parsed.get(), CURLUPART_URL);
    if (!full || !display) return nullptr;
    return std::make_shared<FTPWriteStream>(Tag{}, *full, *display);
}

FTPWriteStream::FTPWriteStream(Tag, std::string url, std::string displayURL)
    : m_url(std::move(url)), m_displayURL(std::move(displayURL)) {}

FTPWriteStream::~FTPWriteStream() {
    unschedule();
    releaseCurl();
}

bool FTPWriteStream::setProperty(const Value& value, std::string_view key) {
    if (m_status != StreamStatus::NotOpen) return false;
    if (key == kCFStreamPropertyFTPUserName || key == kCFStreamPropertyFTPPassword) {
        if (!value.isString() || hasControlCharacter(value.asString())) return false;
        (key == kCFStreamPropertyFTPUserName ? m_userName : m_password) = value.asString();
        return true;
    }
    if (key == kFTPStreamPropertyUploadLength) {
        if (!value.isInteger() || value.asInteger() < 0) return false;
        m_uploadLength = static_cast<uint64_t>(value.asInteger());
        return true;
    }
    return false;
}

void FTPWriteStream::setTimeouts(const Timeouts& timeouts) {
    if (m_status == StreamStatus::NotOpen) m_timeouts = timeouts;
}

void FTPWriteStream::scheduleInRunLoop(RunLoop& loop, RunLoopMode mode) {
    if (m_loop && m_loop != &loop) return;  // one loop per stream
    m_loop = &loop;
    m_modes |= mode == RunLoopMode::Default ? kDefaultMode : kModalMode;
    if (m_status != StreamStatus::Closed) loop.addSource(this, m_modes);
}

void FTPWriteStream::removeFromRunLoop(RunLoop& loop, RunLoopMode mode) {
    if (m_loop != &loop) return;
    m_modes &= ~(mode == RunLoopMode::Default ? kDefaultMode : kModalMode);
    loop.removeSource(this);
    if (m_modes && m_status != StreamStatus::Closed) loop.addSource(this, m_modes);
}

void FTPWriteStream::unschedule() {
    if (m_loop) m_loop->removeSource(this);
}

void FTPWriteStream::open() {
    if (m_status != StreamStatus::NotOpen) return;
    ensureCurlInitialized();
    m_status = StreamStatus::Opening;
    m_buffer.assign(kBufferCapacity, 0);
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    if (!m_multi || !m_easy) return fail(CURLE_FAILED_INIT, "libcurl could not be set up");

    CURL* easy = easyOf(m_easy);
    curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &FTPWriteStream::readCallback);
    curl_easy_setopt(easy, CURLOPT_READDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_curlError.data());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeouts.connect.count()));
    auto responseSeconds = std::max<long>(1, static_cast<long>((m_timeouts.response.count() + 999) / 1000));
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, responseSeconds);
    if (m_userName) curl_easy_setopt(easy, CURLOPT_USERNAME, m_userName->c_str());
    if (m_password) curl_easy_setopt(easy, CURLOPT_PASSWORD, m_password->c_str());
    // An empty file is announced by closing; libcurl then still asks for data once, which is
    // how the stream learns that the server took the STOR.
    if (m_uploadLength && *m_uploadLength > 0)
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(*m_uploadLength));

    CURLM* multi = multiOf(m_multi);
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &FTPWriteStream::socketCallback);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &FTPWriteStream::timerCallback);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);

    m_lastProgressAt = m_lastDrivenAt = SteadyClock::now();
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
        return fail(CURLE_FAILED_INIT, "libcurl refused the transfer");
    m_easyAdded = true;
}

int64_t FTPWriteStream::write(const uint8_t* buffer, size_t maxLength) {
    if (m_status != StreamStatus::Open || m_eofRequested) return -1;
    size_t n = std::min(maxLength, space());
    if (n == 0) return 0;
    if (m_uploadLength && m_accepted + n > *m_uploadLength) {
        fail(CURLE_SEND_ERROR, fmt::format("more than the announced {} bytes were written", *m_uploadLength));
        return -1;
    }
    if (m_tail + n > m_buffer.size()) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_head, buffered());
        m_tail -= m_head;
        m_head = 0;
    }
    std::memcpy(m_buffer.data() + m_tail, buffer, n);
    m_tail += n;
    m_accepted += n;
    m_spaceWanted = true;
    if (m_paused) {
        m_paused = false;
        curl_easy_pause(easyOf(m_easy), CURLPAUSE_CONT);
    }
    return static_cast<int64_t>(n);
}

bool FTPWriteStream::hasSpaceAvailable() const {
    return m_status == StreamStatus::Open && !m_eofRequested && space() > 0;
}

void FTPWriteStream::close() {
    if (m_status == StreamStatus::Closed) return;
    auto keepAlive = weak_from_this().lock();
    unschedule();
    if (m_status == StreamStatus::Open && !m_error) {
        if (m_uploadLength && m_accepted < *m_uploadLength)
            fail(CURLE_PARTIAL_FILE,
                 fmt::format("closed after {} of the announced {} bytes", m_accepted, *m_uploadLength));
        else
            finishUpload();
    }
    releaseCurl();
    m_errorPending = false;
    m_status = StreamStatus::Closed;
}

void FTPWriteStream::finishUpload() {
    // Runs the transfer to its end outside the run loop: the caller has let go of the stream
    // and needs to know whether the server has the whole file. Bounded by the time-outs.
    m_eofRequested = true;
    if (m_paused) {
        m_paused = false;
        curl_easy_pause(easyOf(m_easy), CURLPAUSE_CONT);
    }
    std::vector<pollfd> fds;
    while (transferActive()) {
        fds.clear();
        collectPollFds(fds);
        auto wait = kLongestWait;
        if (m_deadline) {
            auto untilDeadline =
                std::chrono::ceil<std::chrono::milliseconds>(*m_deadline - SteadyClock::now());
            wait = std::clamp(untilDeadline, std::chrono::milliseconds(0), kLongestWait);
        }
        if (::poll(fds.data(), fds.size(), static_cast<int>(wait.count())) < 0)
            for (auto& fd : fds) fd.revents = 0;
        drive(fds);
    }
    if (!m_error && !m_transferDone) fail(CURLE_SEND_ERROR, "the transfer ended without a result");
}

void FTPWriteStream::collectPollFds(std::vector<pollfd>& fds) {
    for (const auto& [fd, events] : m_sockets) fds.push_back(pollfd{fd, events, 0});
}

bool FTPWriteStream::eventPending() const {
    if (m_errorPending) return true;
    if (m_status == StreamStatus::Opening && m_transferStarted) return true;
    return m_status == StreamStatus::Open && m_spaceWanted && !m_eofRequested && space() > 0;
}

std::optional<std::chrono::milliseconds> FTPWriteStream::maxWait() {
    if (eventPending()) return std::chrono::milliseconds(0);
    if (!transferActive()) return std::nullopt;
    if (!m_deadline) return kLongestWait;
    auto untilDeadline = std::chrono::ceil<std::chrono::milliseconds>(*m_deadline - SteadyClock::now());
    return std::clamp(untilDeadline, std::chrono::milliseconds(0), kLongestWait);
}

void FTPWriteStream::perform(std::span<const pollfd> polled) {
    // The delegate may release this stream from inside an event.
    auto keepAlive = weak_from_this().lock();
    if (transferActive()) drive(polled);
    deliverEvents();
}

void FTPWriteStream::drive(std::span<const pollfd> polled) {
    auto now = SteadyClock::now();
    if (now - m_lastDrivenAt > kUndrivenGap) m_lastProgressAt = now;
    m_lastDrivenAt = now;

    CURLM* multi = multiOf(m_multi);
    int running = 0;
    for (const auto& p : polled) {
        if (!p.revents || !transferActive()) continue;
        int mask = 0;
        if (p.revents & (POLLIN | POLLHUP)) mask |= CURL_CSELECT_IN;
        if (p.revents & POLLOUT) mask |= CURL_CSELECT_OUT;
        if (p.revents & (POLLERR | POLLNVAL)) mask |= CURL_CSELECT_ERR;
        curl_multi_socket_action(multi, p.fd, mask, &running);
    }
    if (transferActive() && m_deadline && SteadyClock::now() >= *m_deadline) {
        m_deadline.reset();
        curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
    }
    collectCompletion();
    if (transferActive()) checkStall(SteadyClock::now());
}

void FTPWriteStream::collectCompletion() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multiOf(m_multi), &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        CURLcode result = msg->data.result;
        curl_off_t sent = 0;
        curl_easy_getinfo(easyOf(m_easy), CURLINFO_SIZE_UPLOAD_T, &sent);
        m_sent = static_cast<uint64_t>(sent);
        m_transferDone = true;
        if (result != CURLE_OK) {
            std::string detail =
                m_curlError[0] ? std::string(m_curlError.data()) : curl_easy_strerror(result);
            fail(result, detail);
        } else if (!m_eofRequested && !(m_uploadLength && m_sent == *m_uploadLength)) {
            fail(CURLE_SEND_ERROR, "the server ended the transfer before the file was complete");
        }
        break;
    }
}

void FTPWriteStream::checkStall(SteadyClock::time_point now) {
    curl_off_t sent = 0;
    curl_easy_getinfo(easyOf(m_easy), CURLINFO_SIZE_UPLOAD_T, &sent);
    if (static_cast<uint64_t>(sent) != m_sent) {
        m_sent = static_cast<uint64_t>(sent);
        m_lastProgressAt = now;
    }
    // Only data that waits for the network counts: before the server takes the file the connect
    // and reply time-outs apply, while libcurl waits for us the delegate is slow, not the
    // server, and after the end of the file the server's final reply is bounded by libcurl.
    if (!m_transferStarted || m_paused || m_eofDelivered) {
        m_lastProgressAt = now;
        return;
    }
    if (now - m_lastProgressAt >= m_timeouts.stall) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_timeouts.stall).count();
        fail(CURLE_OPERATION_TIMEDOUT,
             fmt::format("the server took no data for {} ms (the transfer stalled)", ms));
    }
}

void FTPWriteStream::deliverEvents() {
    if (m_errorPending) {
        m_errorPending = false;
        notify(StreamEvent::ErrorOccurred);
        return;
    }
    if (m_status == StreamStatus::Opening && m_transferStarted) {
        m_status = StreamStatus::Open;
        m_spaceWanted = true;
        notify(StreamEvent::OpenCompleted);
    }
    for (int i = 0; i < kMaxSpaceEventsPerPass && m_status == StreamStatus::Open && m_spaceWanted &&
                    !m_eofRequested && space() > 0;
         ++i) {
        m_spaceWanted = false;
        notify(StreamEvent::HasSpaceAvailable);
    }
}

void FTPWriteStream::fail(long code, std::string detail) {
    if (m_error) return;  // the first failure is the one to report
    m_error = Error{kErrorDomain, code, fmt::format("FTP upload to {} failed: {}", m_displayURL, detail), {}};
    m_status = StreamStatus::Error;
    m_errorPending = true;
    abortTransfer();
}

void FTPWriteStream::abortTransfer() {
    if (m_easyAdded) curl_multi_remove_handle(multiOf(m_multi), easyOf(m_easy));
    m_easyAdded = false;
    m_sockets.clear();
    m_deadline.reset();
}

void FTPWriteStream::releaseCurl() {
    abortTransfer();
    if (m_easy) curl_easy_cleanup(easyOf(m_easy));
    if (m_multi) curl_multi_cleanup(multiOf(m_multi));
    m_easy = nullptr;
    m_multi = nullptr;
}

size_t FTPWriteStream::readCallback(char* dest, size_t size, size_t count, void* userData) {
    auto* self = static_cast<FTPWriteStream*>(userData);
    self->m_transferStarted = true;
    size_t available = self->buffered();
    if (available == 0) {
        if (self->m_eofRequested) {
            self->m_eofDelivered = true;
            return 0;
        }
        self->m_paused = true;
        return CURL_READFUNC_PAUSE;
    }
    size_t n = std::min(size * count, available);
    std::memcpy(dest, self->m_buffer.data() + self->m_head, n);
    self->m_head += n;
    if (self->m_head == self->m_tail) self->m_head = self->m_tail = 0;
    return n;
}

int FTPWriteStream::socketCallback(void*, int fd, int what, void* userData, void*) {
    auto* self = static_cast<FTPWriteStream*>(userData);
    if (what == CURL_POLL_REMOVE) {
        self->m_sockets.erase(fd);
    } else {
        short events = 0;
        if (what & CURL_POLL_IN) events |= POLLIN;
        if (what & CURL_POLL_OUT) events |= POLLOUT;
        self->m_sockets[fd] = events;
    }
    return 0;
}

int FTPWriteStream::timerCallback(void*, long timeoutMs, void* userData) {
    auto* self = static_cast<FTPWriteStream*>(userData);
    if (timeoutMs < 0)
        self->m_deadline.reset();
    else
        self->m_deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

}  // namespace platform
