#include "VEXAUpgradeReminderDialogController.h"

#include <cstring>

#include "VEXAHelper.h"
#include "VEXALog.h"
#include "VEXAUpdateText.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/net/ASIHTTPRequest.h"
#include "platform/ui/Image.h"

KOPAUpgradeReminderDialogController::KOPAUpgradeReminderDialogController() {
    bindOutlet("imageView", m_imageView);
    bindOutlet("titleLabel", m_titleLabel);
    bindOutlet("messageLabel", m_messageLabel);
    bindOutlet("checkboxTitleLabel", m_checkboxTitleLabel);
    bindOutlet("confirmationCheckbox", m_confirmationCheckbox);
    bindOutlet("skipUpgradeButton", m_skipUpgradeButton);
    bindOutlet("notNowButton", m_notNowButton);
    bindOutlet("downloadUpgradeButton", m_downloadUpgradeButton);
    bindAction("confirmationAction:", [this](platform::Object* sender) { confirmationAction(sender); });
}

void KOPAUpgradeReminderDialogController::windowDidLoad() {
    KOPADialogController::windowDidLoad();
    // The first run comes from creation: no document and no outlets yet, so nothing to do.
    if (!isWindowLoaded() || !m_dataDict.isDictionary()) return;

    std::string latest =
        KOPAUpdateText::plainText(KOPAUpdateText::stringForKey(m_dataDict, "latest-version").value_or(""));

    const platform::Value* entry = nullptr;
    if (const platform::Value* localized = m_dataDict.find("localized");
        localized && localized->isDictionary()) {
        entry = localized->find(platform::Locale::currentLanguageCode());
        if (!entry || !entry->isDictionary()) entry = localized->find("default");
        if (entry && !entry->isDictionary()) entry = nullptr;
    }
    static const platform::Value kNoEntry;
    const platform::Value& texts = entry ? *entry : kNoEntry;

    std::string info;
    if (auto text = KOPAUpdateText::stringForKey(texts, "info"))
        info = KOPAUpdateText::format("\n%@\n", {KOPAUpdateText::plainText(*text)});
    std::string changes;
    // A list of another kind counts as missing, as every text of the wrong kind does here.
    if (const platform::Value* list = texts.find("changes"))
        changes = KOPAUpdateText::bulletList(*list).value_or("");

    auto localized = [](const char* key) { return KOPAHelper::VEXAlocalizeString(key); };
    if (auto label = titleLabel())
        label->setStringValue(KOPAUpdateText::format(localized("Upgrade.Title"), {KOPAProductName, latest}));
    if (auto label = messageLabel())
        label->setStringValue(KOPAUpdateText::format(
            "%@\n%@\n%@\n\n%@",
            {KOPAUpdateText::format(localized("Upgrade.Available"), {KOPAProductName}), info,
             KOPAUpdateText::format(localized("Upgrade.WhatsNew"), {latest}), changes}));
    if (auto label = checkboxTitleLabel())
        label->setStringValue(KOPAUpdateText::plainText(
            KOPAUpdateText::stringForKey(texts, "confirmationString").value_or("")));
    if (auto button = skipUpgradeButton()) button->setTitle(localized("Upgrade.Button.Skip"));
    if (auto button = notNowButton()) button->setTitle(localized("Update.Button.Cancel"));
    if (auto button = downloadUpgradeButton()) {
        button->setTitle(localized("Upgrade.Button.Accept"));
        // Nothing is downloaded before the user confirmed.
        auto box = confirmationCheckbox();
        button->setEnabled(box && box->state() == platform::Button::On);
    }

    if (auto view = imageView()) {
        // The host application's own icon until (unless) the plug-in's arrives and is a picture.
        view->setImageName(kHostIconName);
        if (auto host = platform::Bundle::mainBundle())
            view->setImage(platform::Image::imageNamedInBundle(kHostIconName, *host));
    }
    if (auto icon = KOPAUpdateText::stringForKey(m_dataDict, "plugin-icon-url")) fetchIcon(*icon);
}

void KOPAUpgradeReminderDialogController::fetchIcon(const std::string& url) {
    if (m_iconRequest) m_iconRequest->cancel();
    m_iconRequest = platform::ASIHTTPRequest::requestWithURL(url);
    std::weak_ptr<KOPAUpgradeReminderDialogController> weakSelf =
        sharedAs<KOPAUpgradeReminderDialogController>();
    std::weak_ptr<platform::ASIHTTPRequest> weakRequest = m_iconRequest;
    m_iconRequest->setCompletionBlock([weakSelf, weakRequest, url] {
        auto self = weakSelf.lock();
        auto request = weakRequest.lock();
        if (!self || !request) return;
        self->m_iconRequest.reset();
        auto view = self->imageView();
        if (!view) return;
        // Shown only once its pixels decode: bytes that merely start like a picture are none.
        std::shared_ptr<platform::Image> icon;
        if (request->responseStatusCode() == 200 && looksLikeImage(request->responseData()))
            icon = platform::Image::imageWithData(request->responseData(), KOPAUpdateText::plainText(url));
        if (icon) view->setImage(std::move(icon));
        if (self->isWindowLoaded()) self->window()->display();
    });
    m_iconRequest->setTimeOutSeconds(kIconTimeOutSeconds);
    m_iconRequest->setMaxResponseBytes(kMaxIconBytes);
    m_iconRequest->startAsynchronous();
}

void KOPAUpgradeReminderDialogController::windowWillClose(const platform::Notification& notification) {
    if (m_iconRequest) {
        m_iconRequest->cancel();
        m_iconRequest.reset();
    }
    KOPADialogController::windowWillClose(notification);
}

void KOPAUpgradeReminderDialogController::confirmationAction(platform::Object* sender) {
    auto* box = dynamic_cast<platform::Button*>(sender);
    if (auto button = downloadUpgradeButton())
        button->setEnabled(box && box->state() == platform::Button::On);
}

bool KOPAUpgradeReminderDialogController::looksLikeImage(std::string_view bytes) {
    auto startsWith = [&](std::string_view magic) { return bytes.substr(0, magic.size()) == magic; };
    using namespace std::string_view_literals;
    if (startsWith("\x89PNG\r\n\x1a\n"sv)) return bytes.size() > 16;
    if (startsWith("\xFF\xD8\xFF"sv)) return true;
    if (startsWith("GIF87a"sv) || startsWith("GIF89a"sv)) return true;
    if (startsWith("II*\0"sv) || startsWith("MM\0*"sv)) return true;
    if (startsWith("BM"sv)) return bytes.size() > 26;
    if (startsWith("RIFF"sv)) return bytes.size() >= 12 && bytes.substr(8, 4) == "WEBP";
    if (startsWith("icns"sv)) return bytes.size() > 8;
    if (startsWith("\0\0\1\0"sv)) return bytes.size() > 6;
    return false;
}
