// The URL launcher (being built).
#pragma once

#include <string>

namespace ui {

class TpvlUrl {
public:
    std::string Url;
};

}  // namespace ui
