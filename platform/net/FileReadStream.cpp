#include "platform/net/FileReadStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

std::shared_ptr<FileReadStream> FileReadStream::create(const std::string& path) {
    if (path.empty()) return nullptr;
    return std::make_shared<FileReadStream>(path);
}

FileReadStream::FileReadStream(std::string path) : m_path(std::move(path)) {}

FileReadStream::~FileReadStream() {
    if (m_fd >= 0) ::close(m_fd);
}

void FileReadStream::fail(int errnoValue, std::string_view what) {
    m_status = StreamStatus::Error;
    m_error = Error{"NSPOSIXErrorDomain",
                    errnoValue,
                    fmt::format("{} {}: {}", what, m_path, std::strerror(errnoValue)),
                    {}};
}

void FileReadStream::open() {
    if (m_status != StreamStatus::NotOpen) return;
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) return fail(errno, "cannot open");
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return fail(errno, "cannot inspect");
    if (S_ISDIR(st.st_mode)) return fail(EISDIR, "cannot read");
    if (S_ISREG(st.st_mode)) m_length = static_cast<uint64_t>(st.st_size);
    m_status = StreamStatus::Open;
}

void FileReadStream::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (m_status != StreamStatus::Error) m_status = StreamStatus::Closed;
}

int64_t FileReadStream::read(uint8_t* buffer, size_t maxLength) {
    if (m_status == StreamStatus::AtEnd) return 0;
    if (m_status != StreamStatus::Open) return -1;
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, maxLength);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fail(errno, "cannot read");
            return -1;
        }
        if (n == 0 && maxLength > 0) m_status = StreamStatus::AtEnd;
        m_bytesRead += static_cast<uint64_t>(n);
        return n;
    }
}

}  // namespace platform
