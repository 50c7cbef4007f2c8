// The main window's tray icon and single-instance guard.
#include "Teskaprs1.h"

#include "ui/Abcutil.h"
#include "ui/abctray.h"

void TForm1::SetUpDesktop() {
    // The components in their stored order, with the window's settings...
    abcTrayIcon1 = std::make_unique<ui::TabcTrayIcon>(Handle(), [this] { return Handle(); });
    abcTrayIcon1->SetOptions({ui::atiShowOnClick, ui::atiHideApp, ui::atiHideOnMinimize, ui::atiTerminateOnLogoff,
                              ui::atiMonitorTray});
    abcTrayIcon1->SetMonitorInterval(5000);
    abcTrayIcon1->SetAnimateInterval(700);
    abcTrayIcon1->LoadIconResource(GetModuleHandleA(nullptr), 1);
    abcTrayIcon1->SetVisible(true);
    abcSingleInstance1 = std::make_unique<ui::TabcSingleInstance>();

    // ...then their set-up in the same order: the icon is added and the
    // window hidden with its taskbar button; a second copy brings the first
    // forward and asks its own message loop to end.
    abcTrayIcon1->Loaded();
    abcSingleInstance1->Loaded();
}

void TForm1::SetTrayHint(const std::string& hint) {
    if (abcTrayIcon1) abcTrayIcon1->SetHint(hint);
}
