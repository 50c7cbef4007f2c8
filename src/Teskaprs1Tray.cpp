// The main window's tray icon and single-instance guard. (Being built.)
#include "Teskaprs1.h"

#include "ui/Abcutil.h"
#include "ui/abctray.h"

void TForm1::SetUpDesktop() {
    abcTrayIcon1 = std::make_unique<ui::TabcTrayIcon>(Handle());
    abcSingleInstance1 = std::make_unique<ui::TabcSingleInstance>();
}

void TForm1::SetTrayHint(const std::string& hint) {
    if (abcTrayIcon1) abcTrayIcon1->SetHint(hint);
}
