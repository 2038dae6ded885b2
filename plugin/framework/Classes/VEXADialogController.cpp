#include "VEXADialogController.h"

#include "VEXAHelper.h"
#include "VEXALog.h"
#include "VEXAPlugin.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Control.h"
#include "platform/ui/MenuItem.h"

KOPADialogController::KOPADialogController() {
    bindAction("closeWithTagOfSenderAsResult:",
               [this](platform::Object* sender) { closeWithTagOfSenderAsResult(sender); });
}

bool KOPADialogController::initWithWindowNibName(const std::string& nibName,
                                                 std::shared_ptr<platform::Bundle> bundle) {
    return platform::WindowController::initWithWindowNibName(nibName,
                                                             bundle ? bundle : KOPAHelper::frameworkBundle());
}

void KOPADialogController::windowDidLoad() {
    platform::WindowController::windowDidLoad();
    auto self = sharedAs<KOPADialogController>();
    // Only a loaded window: asking for it here would load the description in the first run.
    if (isWindowLoaded()) window()->setDelegate(self);
    KOPAPluginSession::sharedPluginSession()->registerSessionObject(self);
}

void KOPADialogController::runSheetInWindowCompletion(const std::shared_ptr<platform::Window>& parent,
                                                      Completion completion) {
    m_mode = SheetMode;
    beginRun(std::move(completion));
    auto& app = platform::Application::shared();
    auto target = parent ? parent : app.keyWindow();
    auto sheet = window();
    if (!sheet) return failToShow();
    app.beginSheet(sheet, target);
    sheet->display();
}

void KOPADialogController::runModalBlockingCompletion(bool blocking, Completion completion) {
    beginRun(std::move(completion));
    auto w = window();
    if (!w) return failToShow();
    auto& app = platform::Application::shared();
    if (blocking) {
        m_mode = ModalBlockingMode;
        (void)app.runModalForWindow(w);
    } else {
        m_mode = ModalSessionMode;
        m_modalSession = app.beginModalSessionForWindow(w);
    }
    w->display();
}

void KOPADialogController::runWindow(Completion completion) {
    beginRun(std::move(completion));
    m_mode = FreeWindowMode;
    auto w = window();
    if (!w) return failToShow();
    w->makeKeyAndOrderFront();
}

void KOPADialogController::beginRun(Completion completion) {
    m_completion = std::move(completion);
    m_finished = false;
}

void KOPADialogController::failToShow() {
    // A dialog whose window description is missing or broken: say so instead of showing
    // nothing, and finish the run (completion with 0, registry left) as if it had closed.
    KOPA_LOG("Cannot show the dialog \"{}\": {}", windowNibName(), loadStatus().message());
    if (auto plugin = KOPAPlugin::sharedPlugin())
        plugin->presentMessageWithTitleSubtitleMessage(
            KOPAProductName, std::nullopt, "The dialog could not be opened: " + loadStatus().message());
    closeWithResult(0);
}

void KOPADialogController::closeWithResult(int64_t result) {
    if (m_finished) return;  // closed already: the reported result stands
    m_result = result;
    if (isWindowLoaded()) {
        window()->close();
    } else if (m_completion || KOPAPluginSession::sharedPluginSession()->containsSessionObject(this)) {
        // A dialog whose window never loaded still finishes: result reported, registry left.
        windowWillClose(platform::Notification{platform::kWindowWillCloseNotification, nullptr, {}});
    }
}

void KOPADialogController::closeWithTagOfSenderAsResult(platform::Object* sender) {
    int64_t tag = 0;
    if (auto* control = dynamic_cast<platform::Control*>(sender))
        tag = control->tag();
    else if (auto* item = dynamic_cast<platform::MenuItem*>(sender))
        tag = item->tag();
    closeWithResult(tag);
}

void KOPADialogController::close() {
    closeWithResult(0);
}

void KOPADialogController::windowWillClose(const platform::Notification&) {
    if (m_finished) return;
    m_finished = true;
    auto self = sharedAs<KOPADialogController>();
    auto& app = platform::Application::shared();
    auto w = isWindowLoaded() ? window() : nullptr;
    if (w && shouldSetFirstResponderToNilOnWindowWillClose()) w->makeFirstResponder(nullptr);
    if (m_mode & 1) {
        if (m_mode == ModalBlockingMode) {
            app.stopModalWithCode(m_result);
        } else {
            app.endModalSession(m_modalSession);
            m_modalSession.reset();
        }
    }
    if (m_mode == SheetMode && w) app.endSheet(w.get());
    if (m_completion) m_completion(m_result);
    platform::RunLoop::main().dispatchAsync(
        [self] { KOPAPluginSession::sharedPluginSession()->unregisterSessionObject(self.get()); });
}
