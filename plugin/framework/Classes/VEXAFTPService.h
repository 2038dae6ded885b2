#pragma once

// KOPAFTPService: uploads one local file at a time to an FTP server, under a base URL and with
// a user name and password fixed at creation. put() starts an upload that runs on the main run
// loop (default mode only, so it pauses while a modal loop runs), driven by the events of an
// FTP write stream; its outcome reaches the completion given to put() exactly once: no error
// on success, a "VEXAFTPService" error (code 0) for the service's own failures, or the stream's
// error as the stream gives it.
//
// The file goes out through a 32768-byte buffer inside the object: refilled only when sent in
// full, never allocated per chunk, and emptied at the start of every upload so bytes of a
// stopped transfer can never reach the next one.
//
// Success means the server confirmed the whole file: the network stream is told the file's
// length, and a close that does not complete the file (the source shrank, the server failed
// at the end) is reported as the stream's error, not as success. Waiting for that confirmation
// (the server's final reply) blocks the main thread, bounded by the stream's reply time-out
// (FTPWriteStream::Timeouts::response, 30 s by default): in the run-loop pass that sends the
// last byte, or in the close() of the stop sequence.
//
// Ownership: callers may create the service and forget it; it keeps itself alive while an
// upload runs (when it is held by a shared_ptr, as make_shared gives).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/net/Stream.h"

class KOPAFTPService : public platform::Object, public platform::StreamDelegate {
public:
    static constexpr size_t kBufferSize = 32768;
    static constexpr const char* kErrorDomain = "VEXAFTPService";

    using Completion = std::function<void(const std::optional<platform::Error>& error)>;

    // initWithUserName:password:baseURL:. No base URL (none, or empty) makes every upload fail
    // with "Base URL is nil!".
    KOPAFTPService(std::string userName, std::string password, std::optional<std::string> baseURL);
    ~KOPAFTPService() override;

    // put:targetFile:completion:. No target file names the upload after the source's last path
    // component. The completion is required; it may run before put() returns.
    void put(const std::optional<std::string>& sourceFile, const std::optional<std::string>& targetFile,
             Completion completion);

    // True when a base URL is set; otherwise stops the upload under way with "Base URL is nil!".
    bool checkConfiguration();

    // End the upload under way and report `error` (none: success) to its completion. When no
    // upload runs, no completion is called, deliberately: the stored one belongs to an upload
    // that has already been reported (it stays stored until the next put()), and calling it again
    // would report that finished upload a second time. A stop before any put() has nobody to tell.
    void stopCurrentProcessWithError(const std::optional<platform::Error>& error);
    void stopCurrentProcessWithErrorMessage(std::string_view message);

    // The network stream's delegate callback (stream:handleEvent:).
    void streamHandleEvent(platform::Stream& stream, platform::StreamEvent event) override;

    // Writes the process log line "Status: <message>". The message is required.
    void updateStatus(const std::optional<std::string>& message);

    const std::string& userName() const { return m_userName; }
    void setUserName(std::string userName) { m_userName = std::move(userName); }
    const std::string& password() const { return m_password; }
    void setPassword(std::string password) { m_password = std::move(password); }
    const std::optional<std::string>& baseURL() const { return m_baseURL; }
    void setBaseURL(std::optional<std::string> baseURL) { m_baseURL = std::move(baseURL); }
    const std::shared_ptr<platform::OutputStream>& networkStream() const { return m_networkStream; }
    void setNetworkStream(std::shared_ptr<platform::OutputStream> stream) {
        m_networkStream = std::move(stream);
    }
    const std::shared_ptr<platform::InputStream>& fileStream() const { return m_fileStream; }
    void setFileStream(std::shared_ptr<platform::InputStream> stream) { m_fileStream = std::move(stream); }
    const uint8_t* buffer() const { return m_buffer.data(); }
    uint64_t bufferOffset() const { return m_bufferOffset; }
    uint64_t bufferLimit() const { return m_bufferLimit; }
    // Both keep 0 <= bufferOffset <= bufferLimit <= 32768; a value that would break it is
    // refused (false).
    bool setBufferOffset(uint64_t offset);
    bool setBufferLimit(uint64_t limit);
    const Completion& completion() const { return m_completion; }
    void setCompletion(Completion completion) { m_completion = std::move(completion); }
    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }

protected:
    // Where the streams come from; subclasses may wrap them (to watch or throttle an upload).
    virtual std::shared_ptr<platform::InputStream> makeFileStream(const std::string& path);
    virtual std::shared_ptr<platform::OutputStream> makeNetworkStream(const std::string& url);

private:
    void sendSomeBytes();

    std::string m_userName;
    std::string m_password;
    std::optional<std::string> m_baseURL;
    std::shared_ptr<platform::OutputStream> m_networkStream;
    std::shared_ptr<platform::InputStream> m_fileStream;
    std::array<uint8_t, kBufferSize> m_buffer{};
    uint64_t m_bufferOffset = 0;
    uint64_t m_bufferLimit = 0;
    Completion m_completion;
    bool m_busy = false;
    // Held while an upload runs, so a caller that let go still hears the outcome.
    std::shared_ptr<platform::Object> m_selfWhileBusy;
};
