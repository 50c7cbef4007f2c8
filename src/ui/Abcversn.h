// The version label (being built): shows entries of the executable's
// version resource.
#pragma once

#include <windows.h>

#include <string>

#include "rtl/Controls.h"

namespace ui {

class TabcVersionLabel : public rtl::TLabel {
public:
    TabcVersionLabel(HWND parent, int id, std::string name, const rtl::TBounds& bounds, COLORREF color)
        : rtl::TLabel(parent, id, std::move(name), bounds, "", color, Options{Alignment::Left, true, false, false}) {}
    std::string GetVersionInfoValue(const std::string&) const { return ""; }
};

}  // namespace ui
