#pragma once

// UserDirectories: where the user's own data and settings live, by the XDG Base Directory rules,
// which every program of the project follows alike. A variable that is unset, empty or a relative
// path is ignored (the rules call relative values invalid), and so is a HOME that is not
// absolute. A folder is empty when neither gives one; the caller then picks its own fallback.

#include <filesystem>

namespace platform {

class UserDirectories {
public:
    // $XDG_DATA_HOME, else $HOME/.local/share.
    static std::filesystem::path dataHome();
    // $XDG_CONFIG_HOME, else $HOME/.config.
    static std::filesystem::path configHome();
};

}  // namespace platform
