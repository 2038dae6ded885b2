#pragma once

// LayoutError: a constraint system refused a change (an unsatisfiable required constraint, a
// constraint added twice, an unknown constraint or edit variable, a number that is not finite).
// The solver is left exactly as it was before the refused call.

#include <stdexcept>

namespace platform {

class LayoutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace platform
