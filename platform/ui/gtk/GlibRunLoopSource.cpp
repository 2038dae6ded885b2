#include "platform/ui/gtk/GlibRunLoopSource.h"

#include <stdexcept>

namespace platform {

GlibRunLoopSource::GlibRunLoopSource(GMainContext* context)
    : m_context(g_main_context_ref(context ? context : g_main_context_default())) {
    m_acquired = g_main_context_acquire(m_context);
    if (!m_acquired) {
        g_main_context_unref(m_context);
        throw std::runtime_error(
            "the GLib main context is owned by another thread; run the desktop front end on the main thread");
    }
}

GlibRunLoopSource::~GlibRunLoopSource() {
    if (m_acquired) g_main_context_release(m_context);
    g_main_context_unref(m_context);
}

void GlibRunLoopSource::collectPollFds(std::vector<pollfd>& fds) {
    if (m_beforePass) m_beforePass();
    gboolean ready = g_main_context_prepare(m_context, &m_maxPriority);
    if (m_gfds.empty()) m_gfds.resize(16);
    for (;;) {
        m_gfdCount = g_main_context_query(m_context, m_maxPriority, &m_timeout, m_gfds.data(),
                                          static_cast<int>(m_gfds.size()));
        if (m_gfdCount <= static_cast<int>(m_gfds.size())) break;
        m_gfds.resize(static_cast<size_t>(m_gfdCount));
    }
    m_prepared = true;
    if (ready) m_timeout = 0;
    for (int i = 0; i < m_gfdCount; ++i) {
        m_gfds[i].revents = 0;
        fds.push_back(pollfd{m_gfds[i].fd, static_cast<short>(m_gfds[i].events), 0});
    }
}

std::optional<std::chrono::milliseconds> GlibRunLoopSource::maxWait() {
    if (m_timeout < 0) return std::nullopt;
    return std::chrono::milliseconds(m_timeout);
}

void GlibRunLoopSource::perform(std::span<const pollfd> polled) {
    if (!m_prepared) return;
    m_prepared = false;
    for (int i = 0; i < m_gfdCount && static_cast<size_t>(i) < polled.size(); ++i)
        m_gfds[i].revents = static_cast<gushort>(polled[i].revents);
    // The descriptors are handed back before dispatching: a handler may run a nested pass that
    // prepares the context again and reuses them.
    if (g_main_context_check(m_context, m_maxPriority, m_gfds.data(), m_gfdCount)) {
        ++m_dispatches;
        g_main_context_dispatch(m_context);
    }
}

bool GlibRunLoopSource::holdsVirtualTime() {
    return g_main_context_pending(m_context);
}

}  // namespace platform
