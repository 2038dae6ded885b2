#include "host/app/DLLoginController.h"

#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"

ZANDREL_REGISTER_CLASS(DLLoginController)

DLLoginController::DLLoginController() {
    bindOutlet("users", m_users);
    bindAction("signIn:", [this](platform::Object*) {
        auto users = m_users.lock();
        if (users && users->indexOfSelectedItem() >= 0 && m_onSignIn)
            m_onSignIn(users->titleOfSelectedItem());
    });
}

std::shared_ptr<DLLoginController> DLLoginController::make(std::vector<std::string> signInNames,
                                                           SignInHandler onSignIn) {
    auto controller = std::make_shared<DLLoginController>();
    controller->m_onSignIn = std::move(onSignIn);
    auto window = std::make_shared<platform::Window>("Sign In", platform::Rect{0, 0, 360, 160});
    window->setClosable(false);
    auto label = std::make_shared<platform::TextField>("User:");
    label->setEditable(false);
    window->contentView()->addSubview(label);
    auto users = std::make_shared<platform::PopUpButton>();
    users->setIdentifier("users");
    for (const auto& name : signInNames) users->addItemWithTitle(name);
    window->contentView()->addSubview(users);
    auto button = std::make_shared<platform::Button>("Sign In");
    button->setIdentifier("signIn");
    button->setKeyEquivalent("\r");
    button->setAction("signIn:");
    button->setTarget(controller);
    window->contentView()->addSubview(button);
    controller->initWithWindow(window);
    controller->setOutlet("users", users);
    return controller;
}
