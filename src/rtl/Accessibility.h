// Names that screen readers announce for controls without a label of their
// own, given through Windows' dynamic annotation (the accessibility property
// services). A control that has a label takes its name from the label that
// comes just before it among its siblings; nothing here is needed for it.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace rtl {

// Gives each control its name (UTF-8 text). Needs COM on
// the calling thread (TApplication::StartCom). Where the system does not
// offer the services or refuses a name (Wine answers "not implemented"),
// the control keeps the name the system gives it: no failure. Returns how
// many names were taken.
int SetAccessibleNames(const std::vector<std::pair<HWND, std::string>>& names);

}  // namespace rtl
