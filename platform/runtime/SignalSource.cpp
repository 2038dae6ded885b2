#include "platform/runtime/SignalSource.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace platform {

namespace {

// Read by the signal handler: plain atomics and a fixed buffer, nothing that allocates.
std::atomic<int> g_writeFd{-1};
std::atomic<uint64_t> g_armedSignals{0};
std::atomic<bool> g_alarmArmed{false};
char g_exitMessage[1024];
std::atomic<size_t> g_exitMessageLength{0};
std::atomic<int> g_exitStatus{1};

uint64_t signalBit(int signo) {
    return signo > 0 && signo < 64 ? uint64_t{1} << signo : 0;
}

[[noreturn]] void emergencyExit() {
    size_t length = g_exitMessageLength.load();
    if (length > 0) (void)!::write(2, g_exitMessage, length);
    ::_exit(g_exitStatus.load());
}

// Deliveries per signal, counted in the handler: code blocked in a wait of its own (a database
// statement) can tell that the person pressed Ctrl-C without the run loop.
std::atomic<uint64_t> g_deliveries[65];

extern "C" void onSignal(int signo) {
    int savedErrno = errno;
    if (signo > 0 && signo < 65) g_deliveries[signo].fetch_add(1, std::memory_order_relaxed);
    if (signo == SIGALRM && g_alarmArmed.load()) emergencyExit();
    if (g_armedSignals.load() & signalBit(signo)) emergencyExit();
    int fd = g_writeFd.load();
    if (fd >= 0) {
        auto byte = static_cast<unsigned char>(signo);
        (void)!::write(fd, &byte, 1);  // a full pipe drops the byte: hundreds are already waiting
    }
    errno = savedErrno;
}

void installHandler(int signo, struct sigaction* previous) {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signo, &action, previous);
}

}  // namespace

SignalSource::SignalSource() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("cannot create the signal pipe: ") + std::strerror(errno));
    int expected = -1;
    if (!g_writeFd.compare_exchange_strong(expected, fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::logic_error("only one SignalSource may exist at a time");
    }
    m_readFd = fds[0];
    m_writeFd = fds[1];
}

SignalSource::~SignalSource() {
    stop();
    disarmEmergencyExit();
    while (!m_entries.empty()) release(m_entries.begin()->first);
    g_writeFd.store(-1);
    ::close(m_readFd);
    ::close(m_writeFd);
}

uint64_t SignalSource::deliveries(int signo) {
    return signo > 0 && signo < 65 ? g_deliveries[signo].load(std::memory_order_relaxed) : 0;
}

void SignalSource::handle(int signo, std::function<void()> handler) {
    if (signalBit(signo) == 0 || signo == SIGALRM)
        throw std::invalid_argument("SignalSource cannot handle signal " + std::to_string(signo));
    auto it = m_entries.find(signo);
    if (it != m_entries.end()) {
        it->second.handler = std::move(handler);
        return;
    }
    Entry entry{std::move(handler), {}};
    installHandler(signo, &entry.previous);
    m_entries.emplace(signo, std::move(entry));
}

void SignalSource::release(int signo) {
    auto it = m_entries.find(signo);
    if (it == m_entries.end()) return;
    ::sigaction(signo, &it->second.previous, nullptr);
    g_armedSignals.fetch_and(~signalBit(signo));
    m_entries.erase(it);
}

void SignalSource::start() {
    if (m_started) return;
    m_started = true;
    RunLoop::main().addSource(this, kCommonModes);
}

void SignalSource::stop() {
    if (!m_started) return;
    m_started = false;
    RunLoop::main().removeSource(this);
}

void SignalSource::armEmergencyExit(std::vector<int> signals, const std::string& message, int status,
                                    std::chrono::seconds deadline) {
    size_t length = std::min(message.size(), sizeof g_exitMessage);
    // Disarmed while the text changes, so a handler never writes half of one and half of another.
    g_exitMessageLength.store(0);
    std::memcpy(g_exitMessage, message.data(), length);
    g_exitStatus.store(status);
    g_exitMessageLength.store(length);
    uint64_t mask = 0;
    for (int signo : signals) mask |= signalBit(signo);
    g_armedSignals.store(mask);
    if (deadline.count() > 0) {
        if (!m_alarmArmed) installHandler(SIGALRM, &m_previousAlarm);
        m_alarmArmed = true;
        g_alarmArmed.store(true);
        ::alarm(static_cast<unsigned>(deadline.count()));
    }
}

void SignalSource::disarmEmergencyExit() {
    g_armedSignals.store(0);
    if (m_alarmArmed) {
        ::alarm(0);
        g_alarmArmed.store(false);
        ::sigaction(SIGALRM, &m_previousAlarm, nullptr);
        m_alarmArmed = false;
    }
}

void SignalSource::stopProcess() {
    struct sigaction defaultAction {
    }, previous{};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    ::sigaction(SIGTSTP, &defaultAction, &previous);
    sigset_t only, before;
    sigemptyset(&only);
    sigaddset(&only, SIGTSTP);
    ::pthread_sigmask(SIG_UNBLOCK, &only, &before);
    ::raise(SIGTSTP);  // stops here until continued (ignored by the kernel in an orphaned group)
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::sigaction(SIGTSTP, &previous, nullptr);
}

void SignalSource::collectPollFds(std::vector<pollfd>& fds) {
    fds.push_back({m_readFd, POLLIN, 0});
}

void SignalSource::perform(std::span<const pollfd> polled) {
    if (polled.empty() || !(polled[0].revents & POLLIN)) return;
    unsigned char buffer[64];
    ssize_t n = ::read(m_readFd, buffer, sizeof buffer);
    for (ssize_t i = 0; i < n; ++i) {
        auto it = m_entries.find(buffer[i]);
        if (it == m_entries.end()) continue;  // released since it arrived
        auto handler = it->second.handler;    // a copy: the handler may release its own signal
        if (handler) handler();
    }
}

}  // namespace platform
