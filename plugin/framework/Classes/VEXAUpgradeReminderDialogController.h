#pragma once

// KOPAUpgradeReminderDialogController: the upgrade reminder. It tells the user that a newer
// version of the plug-in is available, shows what is new in the user's language (the entry of
// the upgrade document's "localized" under the bare language code, else "default"), and closes
// with 2 (download), 1 (skip this version) or anything else (not now, or closed otherwise).
// Downloading needs the confirmation check box ticked first: the download button starts
// disabled and follows the box.
//
// The caller sets the whole upgrade document with setDataDict() and then asks for window(),
// which loads the description and fills every text. The texts come from the network, so they are
// shown as plain text.
//
// Icon. The document's "plugin-icon-url" is fetched without blocking the run loop, bounded in
// time and size; until it arrives, and when it fails, is slow or is not an image, the host
// application's icon ("DLAppIcon") is shown.

#include <memory>

#include "VEXADialogController.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TextField.h"

namespace platform {
class ASIHTTPRequest;
}

class KOPAUpgradeReminderDialogController : public KOPADialogController {
public:
    static constexpr int64_t kSkipResult = 1;
    static constexpr int64_t kDownloadResult = 2;
    static constexpr const char* kHostIconName = "DLAppIcon";
    static constexpr double kIconTimeOutSeconds = 10.0;
    static constexpr size_t kMaxIconBytes = size_t{1} << 20;

    KOPAUpgradeReminderDialogController();

    const platform::Value& dataDict() const { return m_dataDict; }
    void setDataDict(platform::Value document) { m_dataDict = std::move(document); }

    void windowDidLoad() override;
    void windowWillClose(const platform::Notification& notification) override;
    // Enables the download button exactly when the sender (the check box) is on.
    void confirmationAction(platform::Object* sender);

    // True when the bytes start like an image file the platform can show (PNG, JPEG, GIF, TIFF,
    // BMP, WebP, ICNS, ICO).
    static bool looksLikeImage(std::string_view bytes);

    std::shared_ptr<platform::ImageView> imageView() const { return m_imageView.lock(); }
    std::shared_ptr<platform::TextField> titleLabel() const { return m_titleLabel.lock(); }
    std::shared_ptr<platform::TextField> messageLabel() const { return m_messageLabel.lock(); }
    std::shared_ptr<platform::TextField> checkboxTitleLabel() const { return m_checkboxTitleLabel.lock(); }
    std::shared_ptr<platform::Button> confirmationCheckbox() const { return m_confirmationCheckbox.lock(); }
    std::shared_ptr<platform::Button> skipUpgradeButton() const { return m_skipUpgradeButton.lock(); }
    std::shared_ptr<platform::Button> notNowButton() const { return m_notNowButton.lock(); }
    std::shared_ptr<platform::Button> downloadUpgradeButton() const { return m_downloadUpgradeButton.lock(); }

private:
    void fetchIcon(const std::string& url);

    platform::Value m_dataDict;
    std::weak_ptr<platform::ImageView> m_imageView;
    std::weak_ptr<platform::TextField> m_titleLabel;
    std::weak_ptr<platform::TextField> m_messageLabel;
    std::weak_ptr<platform::TextField> m_checkboxTitleLabel;
    std::weak_ptr<platform::Button> m_confirmationCheckbox;
    std::weak_ptr<platform::Button> m_skipUpgradeButton;
    std::weak_ptr<platform::Button> m_notNowButton;
    std::weak_ptr<platform::Button> m_downloadUpgradeButton;
    std::shared_ptr<platform::ASIHTTPRequest> m_iconRequest;
};
