#include "VXZandrel.h"

#include "VXZandrelPreferencesController.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Menu.h"

ZANDREL_REGISTER_CLASS(VXZandrel)

namespace {
// The maker's download server; only the scheme and the path are fixed.
constexpr const char* kVersionDocumentURL =
    "http://downloads.zandrel.example/Daylite/Plugins/Zandrel_Version.json";
}  // namespace

void VXZandrel::dayliteHasFinishedLaunching() {
    KOPAPlugin::dayliteHasFinishedLaunching();
}
void VXZandrel::userDidSignIn(const platform::Notification& n) {
    KOPAPlugin::userDidSignIn(n);
}
void VXZandrel::userDidSignOff(const platform::Notification& n) {
    KOPAPlugin::userDidSignOff(n);
}

std::optional<std::string> VXZandrel::urlForUpdateInformation() const {
    return std::string(kVersionDocumentURL);
}

void VXZandrel::addSubmenusForPluginsMenu(platform::Menu& pluginsMenu) {
    auto submenu = std::make_shared<platform::Menu>();
    auto item = std::make_shared<platform::MenuItem>();
    item->setTitle("Zandrel");
    item->setSubmenu(submenu);
    pluginsMenu.addItem(item);

    auto command = std::make_shared<platform::MenuItem>(localizeString("Duplicate form definition"),
                                                        kShowInputAction, "");
    command->setTarget(shared_from_this());
    submenu->addItem(command);
}

void VXZandrel::__Zandrel_ShowInputAction(platform::Object*) {
    auto dialog = std::make_shared<VXZandrelPreferencesController>();
    if (!dialog->initWithWindowNibName("VXZandrelPreferencesController")) return;
    // No reference is kept: the session registry holds the dialog while it is open.
    dialog->runSheetInWindowCompletion(nullptr, nullptr);
}

bool VXZandrel::performAction(const std::string& action, platform::Object* sender) {
    if (action != kShowInputAction) return false;
    __Zandrel_ShowInputAction(sender);
    return true;
}
