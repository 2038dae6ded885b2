#pragma once

// FTPWriteStream: an output stream that stores what is written into the file named by an
// ftp:// URL, built on libcurl's multi interface and driven by the run loop it is scheduled on.
//
// Life of an upload:
//   create(url) -> setProperty(user name, password, optionally the upload length) -> set a
//   delegate -> scheduleInRunLoop -> open. The stream connects, logs in and starts the STOR
//   without blocking. Once the server takes data it reports OpenCompleted, then
//   HasSpaceAvailable whenever its buffer has room and the delegate wrote since the last such
//   event. write() copies into the buffer and may accept fewer bytes than offered. close() after
//   the last byte completes the file on the server; it waits until the server has confirmed the
//   file, and leaves streamError() set if it did not.
//
// Waiting for the server's final reply blocks the thread that drives the stream (the main
// thread, for a stream on the main run loop), bounded by Timeouts::response: libcurl reads that
// reply with a blocking wait. Without an upload length the wait happens in close(); with one,
// libcurl ends the transfer after the last byte by itself, so the wait happens in the run-loop
// pass that sends it (a missing reply then arrives as ErrorOccurred) and close() returns at once.
// The final reply has no time-out of its own: libcurl offers none for it alone and changing the
// reply time-out of a transfer under way is not supported; a caller that cannot block that long
// sets a shorter Timeouts::response before open().
//
// Events arrive only while the run loop runs in a mode the stream is scheduled in, so an upload
// scheduled in the default mode pauses while a modal loop runs; time spent not being driven is
// never counted as a stall.
//
// Failures (connect, login, refused file, lost connection, time-outs) are reported once as
// ErrorOccurred with streamError(): domain kErrorDomain, code a libcurl CURLcode, and a
// description naming the URL (never the credentials).
//
// With an upload length set, closing before that many bytes were written is an error (the
// server keeps a short file, but nobody is told it succeeded), and so is writing more.

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/Stream.h"

namespace platform {

// Property keys. Credentials are strings without control characters (they travel in FTP
// commands); the upload length is a non-negative integer.
inline constexpr std::string_view kCFStreamPropertyFTPUserName = "kCFStreamPropertyFTPUserName";
inline constexpr std::string_view kCFStreamPropertyFTPPassword = "kCFStreamPropertyFTPPassword";
inline constexpr std::string_view kFTPStreamPropertyUploadLength = "FTPUploadLength";

// `baseURL` with `component` appended as one path component, percent-encoded. None when the base
// is no absolute URL, or the component is empty, "." or "..", or holds a '/' or a control
// character (which would name another file, or inject FTP commands).
std::optional<std::string> urlByAppendingPathComponent(std::string_view baseURL, std::string_view component);

class FTPWriteStream final : public OutputStream, private RunLoopSource {
    struct Tag {};

public:
    static constexpr const char* kErrorDomain = "FTPWriteStream";
    static constexpr size_t kBufferCapacity = 128 * 1024;

    struct Timeouts {
        std::chrono::milliseconds connect{30'000};   // TCP connect of control and data connections
        std::chrono::milliseconds response{30'000};  // each server reply, the final one too (whole seconds)
        std::chrono::milliseconds stall{30'000};     // data waiting to go out and none going
    };

    // None unless `url` is an absolute ftp:// URL with a host.
    static std::shared_ptr<FTPWriteStream> create(std::string_view url);

    FTPWriteStream(Tag, std::string url, std::string displayURL);
    ~FTPWriteStream() override;

    void open() override;
    void close() override;
    StreamStatus streamStatus() const override { return m_status; }
    std::optional<Error> streamError() const override { return m_error; }
    bool setProperty(const Value& value, std::string_view key) override;

    void scheduleInRunLoop(RunLoop& loop, RunLoopMode mode) override;
    void removeFromRunLoop(RunLoop& loop, RunLoopMode mode) override;

    int64_t write(const uint8_t* buffer, size_t maxLength) override;
    bool hasSpaceAvailable() const override;

    // Only before open().
    void setTimeouts(const Timeouts& timeouts);
    const Timeouts& timeouts() const { return m_timeouts; }

    // The URL without credentials, as error texts show it.
    const std::string& displayURL() const { return m_displayURL; }
    uint64_t bytesAccepted() const { return m_accepted; }
    // Bytes handed to the network so far.
    uint64_t bytesSent() const { return m_sent; }

private:
    void collectPollFds(std::vector<pollfd>& fds) override;
    std::optional<std::chrono::milliseconds> maxWait() override;
    void perform(std::span<const pollfd> polled) override;

    bool transferActive() const { return m_easyAdded && !m_transferDone && !m_error; }
    bool eventPending() const;
    void drive(std::span<const pollfd> polled);
    void collectCompletion();
    void checkStall(std::chrono::steady_clock::time_point now);
    void deliverEvents();
    void finishUpload();
    void fail(long code, std::string detail);
    void abortTransfer();
    void releaseCurl();
    void unschedule();
    size_t buffered() const { return m_tail - m_head; }
    size_t space() const { return m_buffer.size() - buffered(); }

    static size_t readCallback(char* dest, size_t size, size_t count, void* self);
    static int socketCallback(void* easy, int fd, int what, void* self, void* socketData);
    static int timerCallback(void* multi, long timeoutMs, void* self);

    std::string m_url;
    std::string m_displayURL;
    std::optional<std::string> m_userName;
    std::optional<std::string> m_password;
    std::optional<uint64_t> m_uploadLength;
    Timeouts m_timeouts;

    void* m_multi = nullptr;
    void* m_easy = nullptr;
    bool m_easyAdded = false;
    std::map<int, short> m_sockets;  // descriptor -> poll events libcurl waits for
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    std::array<char, 256> m_curlError{};

    std::vector<uint8_t> m_buffer;  // allocated once, at open
    size_t m_head = 0;
    size_t m_tail = 0;
    uint64_t m_accepted = 0;
    uint64_t m_sent = 0;

    StreamStatus m_status = StreamStatus::NotOpen;
    std::optional<Error> m_error;
    bool m_errorPending = false;
    bool m_transferStarted = false;  // libcurl asked for data: the server takes the file
    bool m_spaceWanted = false;      // the delegate wrote since the last space event
    bool m_paused = false;           // libcurl waits for us to write
    bool m_eofRequested = false;
    bool m_eofDelivered = false;  // libcurl was told the file ends
    bool m_transferDone = false;

    std::chrono::steady_clock::time_point m_lastProgressAt{};
    std::chrono::steady_clock::time_point m_lastDrivenAt{};

    RunLoop* m_loop = nullptr;
    RunLoopModes m_modes = 0;
};

}  // namespace platform
