#include "ui/abctray.h"

namespace ui {

void TabcTrayIcon::RestoreForm() {
    ShowWindow(form_, SW_SHOWNORMAL);
    SetForegroundWindow(form_);
}

}  // namespace ui
