#pragma once

// Streams in the manner of the platform's NSStream: an input stream is read from, an output
// stream written to. Asynchronous streams are scheduled on a run loop in one or more modes and
// report what happens to their delegate there (open completed, bytes or space available, error,
// end). Synchronous streams (a local file) ignore scheduling and are simply called.
//
// A delegate is not owned by its stream: whoever sets it clears it before it goes away. A stream
// may be released by its delegate from inside an event; asynchronous streams keep themselves
// alive until the event returns.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"
#include "platform/runtime/RunLoop.h"

namespace platform {

// Event codes have the platform's numeric values: they are part of the delegate contract.
enum class StreamEvent : unsigned {
    None = 0,
    OpenCompleted = 1,
    HasBytesAvailable = 2,
    HasSpaceAvailable = 4,
    ErrorOccurred = 8,
    EndEncountered = 16,
};

enum class StreamStatus { NotOpen, Opening, Open, Reading, Writing, AtEnd, Closed, Error };

class Stream;

class StreamDelegate {
public:
    virtual ~StreamDelegate() = default;
    virtual void streamHandleEvent(Stream& stream, StreamEvent event) = 0;
};

class Stream : public Object {
public:
    virtual void open() = 0;
    virtual void close() = 0;
    virtual StreamStatus streamStatus() const = 0;
    // The error behind an ErrorOccurred event or a failed open/close; none while all is well.
    virtual std::optional<Error> streamError() const = 0;

    // Stream properties by key. Returns false when the stream does not take the value.
    virtual bool setProperty(const Value& value, std::string_view key) { return false; }

    void setDelegate(StreamDelegate* delegate) { m_delegate = delegate; }
    StreamDelegate* delegate() const { return m_delegate; }

    virtual void scheduleInRunLoop(RunLoop& loop, RunLoopMode mode) {}
    virtual void removeFromRunLoop(RunLoop& loop, RunLoopMode mode) {}

protected:
    void notify(StreamEvent event) {
        if (m_delegate) m_delegate->streamHandleEvent(*this, event);
    }

private:
    StreamDelegate* m_delegate = nullptr;
};

class InputStream : public Stream {
public:
    // Bytes read (at most maxLength), 0 at the end, -1 on error.
    virtual int64_t read(uint8_t* buffer, size_t maxLength) = 0;
    // The number of bytes the stream will give in all, when it knows.
    virtual std::optional<uint64_t> expectedLength() const { return std::nullopt; }
};

class OutputStream : public Stream {
public:
    // Bytes accepted (possibly fewer than offered; at least 1 after a space-available event),
    // -1 on error.
    virtual int64_t write(const uint8_t* buffer, size_t maxLength) = 0;
    virtual bool hasSpaceAvailable() const = 0;
};

}  // namespace platform
