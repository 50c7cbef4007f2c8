// The single-instance guard (being built).
#pragma once

namespace ui {

class TabcSingleInstance {
public:
    TabcSingleInstance() = default;
};

}  // namespace ui
