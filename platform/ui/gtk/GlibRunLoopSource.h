#pragma once

// GlibRunLoopSource: GLib's main context (GTK's events, its frame clock, its idle work) served
// as one source of the platform run loop.
//
// Why the platform loop is the master and not GLib's: the platform loop has the modes (an FTP
// upload pauses while a modal dialog runs), the virtual clock tests rely on, the stall check, and
// modal loops that are nested runUntil() calls; GLib has none of these. Folding GLib's
// prepare/query/check/dispatch into the platform loop's poll keeps every one of those rules as
// it is, while GTK gets its descriptors watched and its own timeouts honoured (the wait is cut
// to GLib's next timeout). The reverse -- platform sources as GSources -- would have to rebuild
// modes and virtual time on top of GLib.
//
// Nesting. A GTK signal handler may start a modal loop (a nested runUntil); the nested passes
// prepare and dispatch the same context again, which GLib allows (GDK's event source may
// recurse). Each pass finishes its prepare/check pair before anything it dispatches runs.
//
// Virtual time. With a virtual clock the source holds time only while GLib has work ready;
// otherwise the loop may jump to its next timer (a display waits for a person, not for time).

#include <glib.h>

#include <functional>
#include <vector>

#include "platform/runtime/RunLoop.h"

namespace platform {

class GlibRunLoopSource : public RunLoopSource {
public:
    // Serves `context` (the default main context when null) and owns it for the thread.
    explicit GlibRunLoopSource(GMainContext* context = nullptr);
    ~GlibRunLoopSource() override;
    GlibRunLoopSource(const GlibRunLoopSource&) = delete;
    GlibRunLoopSource& operator=(const GlibRunLoopSource&) = delete;

    // Runs at the start of every pass, before GLib prepares (the front end brings its widgets up
    // to date with the model there).
    void setBeforePass(std::function<void()> hook) { m_beforePass = std::move(hook); }
    GMainContext* context() const { return m_context; }
    // Sources dispatched since creation (tests and benchmarks count passes with it).
    uint64_t dispatchCount() const { return m_dispatches; }

    void collectPollFds(std::vector<pollfd>& fds) override;
    std::optional<std::chrono::milliseconds> maxWait() override;
    void perform(std::span<const pollfd> polled) override;
    bool holdsVirtualTime() override;

private:
    GMainContext* m_context;
    bool m_acquired = false;
    std::function<void()> m_beforePass;
    std::vector<GPollFD> m_gfds;
    int m_gfdCount = 0;
    int m_maxPriority = 0;
    int m_timeout = -1;
    bool m_prepared = false;
    uint64_t m_dispatches = 0;
};

}  // namespace platform
