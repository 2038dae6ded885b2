#pragma once

// KOPADialogController: the base of every dialog. It owns one window -- loaded from a window
// description in the plug-in bundle, or given -- and runs it as a sheet (mode 0), a blocking
// application-modal window (1), a non-blocking modal session (3) or a free window (4). However
// the window closes, windowWillClose() ends the modal state it started, reports `result` to the
// completion, and unregisters the controller from the session registry one turn of the main
// queue later. The registry keeps the dialog alive while it is open, so callers may create a
// dialog and forget it; at sign-off the registry disposes of it, which closes it with result 0.
//
// Creation is two-phase (see platform::WindowController):
//   auto dialog = std::make_shared<MyDialog>();
//   dialog->initWithWindowNibName("MyDialog");
// windowDidLoad() runs twice for a dialog made from a description: at creation (no window or
// outlets yet) and after loading. Subclass additions must be harmless in the first run.
//
// Each run finishes once: closing a closed dialog again (sign-off disposing of a dialog whose
// removal from the registry is still pending) runs neither the completion nor the rest again.
//
// A sheet run with no parent window attaches to the application's key window; when there is no
// key window either, the dialog is shown as a free window (and a log line says so) rather than
// not at all, and closing it still reports its result.

#include <functional>
#include <memory>

#include "VEXAPluginSession.h"
#include "platform/ui/Application.h"
#include "platform/ui/WindowController.h"

class KOPADialogController : public platform::WindowController, public KOPAPluginSessionObject {
public:
    using Completion = std::function<void(int64_t result)>;

    enum Mode : int32_t { SheetMode = 0, ModalBlockingMode = 1, ModalSessionMode = 3, FreeWindowMode = 4 };

    // Answers "closeWithTagOfSenderAsResult:", so a window description can wire buttons to it.
    KOPADialogController();

    // The description is looked up in the plug-in bundle unless a bundle is given.
    bool initWithWindowNibName(const std::string& nibName,
                               std::shared_ptr<platform::Bundle> bundle = nullptr) override;

    void windowDidLoad() override;

    void runSheetInWindowCompletion(const std::shared_ptr<platform::Window>& parent, Completion completion);
    void runModalBlockingCompletion(bool blocking, Completion completion);
    void runWindow(Completion completion);

    void closeWithResult(int64_t result);
    void closeWithTagOfSenderAsResult(platform::Object* sender);
    void close() override;
    virtual bool shouldSetFirstResponderToNilOnWindowWillClose() const { return true; }
    void windowWillClose(const platform::Notification& notification) override;
    void dispose() override { close(); }

    int32_t mode() const { return m_mode; }
    int64_t result() const { return m_result; }
    const std::shared_ptr<platform::ModalSession>& modalSession() const { return m_modalSession; }

private:
    void failToShow();
    void beginRun(Completion completion);

    Completion m_completion;
    std::shared_ptr<platform::ModalSession> m_modalSession;
    int32_t m_mode = SheetMode;
    int64_t m_result = 0;
    bool m_finished = false;  // the current run (or, before any, the dialog) has closed
};
