#include "plugin/framework/Classes/VEXAFTPService.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/foundation/Log.h"
#include "platform/net/FTPWriteStream.h"
#include "platform/net/FileReadStream.h"
#include "plugin/framework/Classes/VEXAAssertion.h"

using platform::Error;
using platform::RunLoop;
using platform::RunLoopMode;
using platform::StreamEvent;
using platform::Value;

namespace {

// The condition named by the "bytes available on a write stream" assertion.
constexpr bool NO = false;

Error serviceError(std::string_view message) {
    return Error{KOPAFTPService::kErrorDomain, 0, std::string(message), {}};
}

// The last path component, as a path names it: trailing slashes do not count.
std::string lastPathComponent(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

KOPAFTPService::KOPAFTPService(std::string userName, std::string password, std::optional<std::string> baseURL)
    : m_userName(std::move(userName)), m_password(std::move(password)), m_baseURL(std::move(baseURL)) {
    if (m_baseURL && m_baseURL->empty()) m_baseURL.reset();
}

KOPAFTPService::~KOPAFTPService() {
    // Only reachable mid-upload when nobody held the service in a shared_ptr.
    if (m_networkStream) {
        m_networkStream->removeFromRunLoop(RunLoop::main(), RunLoopMode::Default);
        m_networkStream->setDelegate(nullptr);
        m_networkStream->close();
    }
    if (m_fileStream) m_fileStream->close();
}

void KOPAFTPService::put(const std::optional<std::string>& sourceFile,
                         const std::optional<std::string>& targetFile, Completion completion) {
    KOPA_ASSERT(completion);
    if (m_busy) {
        // Only this caller hears of it; the upload under way goes on untouched.
        completion(serviceError("Waiting for another process to finish!"));
        return;
    }
    m_busy = true;
    m_completion = std::move(completion);
    m_selfWhileBusy = weak_from_this().lock();
    // Whatever a stopped upload left unsent belongs to that upload.
    m_bufferOffset = m_bufferLimit = 0;

    if (!checkConfiguration()) return;
    if (!sourceFile) return stopCurrentProcessWithErrorMessage("Source file must not be nil!");
    std::error_code ec;
    if (!std::filesystem::exists(*sourceFile, ec))
        return stopCurrentProcessWithErrorMessage("Source file does not exist!");

    std::string targetName = targetFile ? *targetFile : lastPathComponent(*sourceFile);
    auto targetURL = platform::urlByAppendingPathComponent(*m_baseURL, targetName);
    if (!targetURL) return stopCurrentProcessWithErrorMessage("Target URL is invalid!");

    m_fileStream = makeFileStream(*sourceFile);
    if (!m_fileStream) return stopCurrentProcessWithErrorMessage("Could not open file stream!");
    m_fileStream->open();
    // A file that cannot be read (a directory, no permission) fails here, before anything is
    // created on the server.
    if (m_fileStream->streamStatus() == platform::StreamStatus::Error)
        return stopCurrentProcessWithErrorMessage("Could not open file stream!");

    m_networkStream = makeNetworkStream(*targetURL);
    if (!m_networkStream) return stopCurrentProcessWithErrorMessage("Could not create network stream!");
    if (!m_networkStream->setProperty(Value(m_userName), platform::kCFStreamPropertyFTPUserName) ||
        !m_networkStream->setProperty(Value(m_password), platform::kCFStreamPropertyFTPPassword))
        return stopCurrentProcessWithErrorMessage("Could not setup network stream!");
    // With the length known, a file that ends early is an error rather than a short success.
    if (auto length = m_fileStream->expectedLength();
        length && !m_networkStream->setProperty(Value(static_cast<int64_t>(*length)),
                                                platform::kFTPStreamPropertyUploadLength))
        return stopCurrentProcessWithErrorMessage("Could not setup network stream!");

    m_networkStream->setDelegate(this);
    m_networkStream->scheduleInRunLoop(RunLoop::main(), RunLoopMode::Default);
    m_networkStream->open();
}

bool KOPAFTPService::checkConfiguration() {
    if (m_baseURL) return true;
    stopCurrentProcessWithErrorMessage("Base URL is nil!");
    return false;
}

void KOPAFTPService::stopCurrentProcessWithErrorMessage(std::string_view message) {
    stopCurrentProcessWithError(serviceError(message));
}

void KOPAFTPService::stopCurrentProcessWithError(const std::optional<Error>& error) {
    bool wasBusy = m_busy;
    auto keepAlive = std::move(m_selfWhileBusy);
    std::optional<Error> outcome = error;
    if (auto stream = std::move(m_networkStream)) {
        stream->removeFromRunLoop(RunLoop::main(), RunLoopMode::Default);
        stream->setDelegate(nullptr);
        stream->close();
        // Closing completes the file on the server; if it could not, this is no success.
        if (!outcome && stream->streamError()) outcome = stream->streamError();
    }
    if (auto stream = std::move(m_fileStream)) stream->close();
    m_busy = false;
    // Not busy: the stored completion, if any, has already had its upload's outcome; a second
    // call would report that finished upload twice.
    if (!wasBusy) return;
    // A copy: the completion may start the next upload, which replaces the stored one.
    Completion completion = m_completion;
    if (completion) completion(outcome);
}

void KOPAFTPService::streamHandleEvent(platform::Stream& stream, StreamEvent event) {
    switch (event) {
        case StreamEvent::HasSpaceAvailable:
            if (&stream == m_networkStream.get() && m_fileStream) sendSomeBytes();
            break;
        case StreamEvent::ErrorOccurred:
            if (&stream == m_networkStream.get())
                // An error event without an error must still not end as a success.
                stopCurrentProcessWithError(
                    stream.streamError().value_or(serviceError("Network write error")));
            break;
        case StreamEvent::HasBytesAvailable:
            KOPA_ASSERT(NO);
            break;
        default:
            break;
    }
}

void KOPAFTPService::sendSomeBytes() {
    if (m_bufferOffset == m_bufferLimit) {
        int64_t bytesRead = m_fileStream->read(m_buffer.data(), kBufferSize);
        if (bytesRead == 0) return stopCurrentProcessWithError(std::nullopt);
        if (bytesRead < 0) return stopCurrentProcessWithErrorMessage("File read error!");
        m_bufferOffset = 0;
        m_bufferLimit = static_cast<uint64_t>(bytesRead);
    }
    if (m_bufferOffset != m_bufferLimit) {
        int64_t bytesWritten = m_networkStream->write(m_buffer.data() + m_bufferOffset,
                                                      static_cast<size_t>(m_bufferLimit - m_bufferOffset));
        if (bytesWritten < 0) return stopCurrentProcessWithErrorMessage("Network write error");
        KOPA_ASSERT(bytesWritten != 0);
        m_bufferOffset +=
            std::min<uint64_t>(static_cast<uint64_t>(bytesWritten), m_bufferLimit - m_bufferOffset);
    }
}

void KOPAFTPService::updateStatus(const std::optional<std::string>& message) {
    KOPA_ASSERT(message);
    platform::Log::format("Status: {}", *message);
}

bool KOPAFTPService::setBufferOffset(uint64_t offset) {
    if (offset > m_bufferLimit) return false;
    m_bufferOffset = offset;
    return true;
}

bool KOPAFTPService::setBufferLimit(uint64_t limit) {
    if (limit > kBufferSize || limit < m_bufferOffset) return false;
    m_bufferLimit = limit;
    return true;
}

std::shared_ptr<platform::InputStream> KOPAFTPService::makeFileStream(const std::string& path) {
    return platform::FileReadStream::create(path);
}

std::shared_ptr<platform::OutputStream> KOPAFTPService::makeNetworkStream(const std::string& url) {
    return platform::FTPWriteStream::create(url);
}
