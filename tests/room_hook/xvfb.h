#pragma once
// Starts a private Xvfb on a free display for the tests of this program and stops it at exit.

#include <string>

namespace orbtest {
// Display name such as ":7"; empty when Xvfb could not be started (the caller fails the test).
std::string StartXvfb();
void StopXvfb();
}  // namespace orbtest
