#include "platform/net/ASIHTTPRequest.h"

#include "platform/runtime/RunLoop.h"

namespace platform {

std::shared_ptr<ASIHTTPRequest> ASIHTTPRequest::requestWithURL(const std::string& url) {
    return std::make_shared<ASIHTTPRequest>(Tag{}, url);
}

ASIHTTPRequest::ASIHTTPRequest(Tag, std::string url) : m_url(std::move(url)) {}
ASIHTTPRequest::~ASIHTTPRequest() = default;

void ASIHTTPRequest::setCompletionBlock(std::function<void()> block) {
    m_completion = std::move(block);
}
void ASIHTTPRequest::setFailedBlock(std::function<void()> block) {
    m_failed = std::move(block);
}
void ASIHTTPRequest::setTimeOutSeconds(double seconds) {
    m_timeOutSeconds = seconds;
}
void ASIHTTPRequest::setMaxResponseBytes(size_t bytes) {
    m_maxResponseBytes = bytes;
}

void ASIHTTPRequest::startAsynchronous() {
    if (m_state != State::Ready) return;
    m_state = State::Running;
    fail("the HTTP client is not available yet");
}

void ASIHTTPRequest::cancel() {
    m_cancelled = true;
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
    return 0;
}

void ASIHTTPRequest::fail(std::string why) {
    finishTransfer(0, std::move(why));
}

void ASIHTTPRequest::finishTransfer(long status, std::optional<std::string> why) {
    m_status = static_cast<int>(status);
    m_error = std::move(why);
    m_state = State::Finished;
    RunLoop::main().dispatchAsync([self = shared_from_this()] { self->deliver(); });
}

void ASIHTTPRequest::deliver() {
    if (m_cancelled) return;
    auto block = m_error ? std::move(m_failed) : std::move(m_completion);
    if (block) block();
}

}  // namespace platform
