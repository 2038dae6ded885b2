#pragma once

// CaseName: names the cases of a parameterized test after their `name` member, so that a failing
// case says which one it is (INSTANTIATE_TEST_SUITE_P(..., testsupport::CaseName())).

#include <string>

namespace testsupport {

struct CaseName {
    template <class TestInfo>
    std::string operator()(const TestInfo& test) const {
        return std::string(test.param.name);
    }
};

}  // namespace testsupport
