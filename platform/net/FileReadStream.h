#pragma once

// FileReadStream: an input stream over a local file, read synchronously on the calling thread.
// Opening fails (status Error, with streamError) for a path that cannot be opened for reading
// or that names a directory, so a caller learns before any work starts.

#include <memory>
#include <string>

#include "platform/net/Stream.h"

namespace platform {

class FileReadStream final : public InputStream {
public:
    // None for an empty path; otherwise a stream that is not open yet.
    static std::shared_ptr<FileReadStream> create(const std::string& path);
    ~FileReadStream() override;

    void open() override;
    void close() override;
    StreamStatus streamStatus() const override { return m_status; }
    std::optional<Error> streamError() const override { return m_error; }

    int64_t read(uint8_t* buffer, size_t maxLength) override;
    // The file's size when it was opened.
    std::optional<uint64_t> expectedLength() const override { return m_length; }

    const std::string& path() const { return m_path; }
    uint64_t bytesRead() const { return m_bytesRead; }

    explicit FileReadStream(std::string path);

private:
    void fail(int errnoValue, std::string_view what);

    std::string m_path;
    int m_fd = -1;
    StreamStatus m_status = StreamStatus::NotOpen;
    std::optional<Error> m_error;
    std::optional<uint64_t> m_length;
    uint64_t m_bytesRead = 0;
};

}  // namespace platform
