#pragma once

// DLLoginController: the host's login window. Its window becoming main is how the rest of the
// process learns that nobody is signed in. A person picks a user and presses "Sign In".

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/PopUpButton.h"
#include "platform/ui/WindowController.h"

class DLLoginController : public platform::WindowController {
public:
    using SignInHandler = std::function<void(const std::string& signInName)>;

    DLLoginController();
    // Builds the window in code (the host has no description file to lose).
    static std::shared_ptr<DLLoginController> make(std::vector<std::string> signInNames,
                                                   SignInHandler onSignIn);

private:
    std::weak_ptr<platform::PopUpButton> m_users;
    SignInHandler m_onSignIn;
};
