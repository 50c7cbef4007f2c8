// The main window's tray icon, its right-click menu, the single-instance
// guard, and the status line that tells the station owner what the server
// said to the login.
#include "Teskaprs1.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "rtl/Clock.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Utf.h"
#include "ui/Abcutil.h"
#include "ui/Associations.h"
#include "ui/abctray.h"
#include "upload/UploadLog.h"

namespace {
// The login status's room on the APRS box's frame line, from the end of
// the caption to the lamp, in pixels at 96 dpi.
constexpr int kLoginStatusRoom = 440;
// The tip between attempts.
const char kWaitingHint[] = "Waiting";
}  // namespace

void TForm1::SetUpDesktop() {
    // The components in their stored order, with the window's settings...
    abcTrayIcon1 = std::make_unique<ui::TabcTrayIcon>(Handle(), [this] { return Handle(); });
    abcTrayIcon1->SetOptions({ui::atiShowOnClick, ui::atiHideApp, ui::atiHideOnMinimize, ui::atiTerminateOnLogoff,
                              ui::atiMonitorTray});
    abcTrayIcon1->SetMonitorInterval(5000);
    abcTrayIcon1->SetAnimateInterval(700);
    abcTrayIcon1->LoadIconResource(GetModuleHandleW(nullptr), 1);
    // Visible from the end of the creation handler on (ShowTrayIcon): the
    // window comes first, without waiting for the shell.
    abcTrayIcon1->SetVisible(false);
    abcSingleInstance1 = std::make_unique<ui::TabcSingleInstance>();

    // The menu a right click on the icon opens; its default item (bold) is
    // what a left click does.
    trayMenu_.handle = CreatePopupMenu();
    AppendMenuW(trayMenu_.handle, MF_STRING, kTrayShow, L"&Show Teskaprs");
    AppendMenuW(trayMenu_.handle, MF_STRING, kTrayUpdateNow, L"&Update Now");
    AppendMenuW(trayMenu_.handle, MF_STRING, kTrayOpenLog, L"Open &log");
    AppendMenuW(trayMenu_.handle, MF_STRING, kTrayStation, L"&Receive from the station\x2026");
    AppendMenuW(trayMenu_.handle, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(trayMenu_.handle, MF_STRING, kTrayExit, L"E&xit");
    SetMenuDefaultItem(trayMenu_.handle, kTrayShow, FALSE);
    abcTrayIcon1->SetPopupMenu(trayMenu_.handle);
    abcTrayIcon1->OnMenuItemClick = [this](ui::TabcTrayIcon*, UINT item) { TrayMenuClick(item); };

    // The login status sits on the APRS box's frame, beside its caption,
    // and is only there while it has something to say.
    LoginStatus = dynamic_cast<rtl::TLabel*>(FindControl("LoginStatus"));
    if (LoginStatus) ShowWindow(LoginStatus->Handle(), SW_HIDE);

    // ...then their set-up in the same order: the icon is added and the
    // window hidden with its taskbar button; a second copy brings the first
    // forward and asks its own message loop to end.
    abcTrayIcon1->Loaded();
    abcSingleInstance1->Loaded();
}

void TForm1::ShowTrayIcon() {
    if (abcTrayIcon1) abcTrayIcon1->SetVisible(true);
}

void TForm1::SetTrayHint(const std::string& hint) {
    if (!abcTrayIcon1) return;
    // Between attempts the tip is a warning, if one holds: the silence
    // first, then a stuck sensor.
    const std::string warning = hint == kWaitingHint ? RestingWarning() : std::string();
    abcTrayIcon1->SetHint(warning.empty() ? hint : upload::TipText(warning));
}

void TForm1::ShowTrayBalloon(const std::string& text) {
    if (abcTrayIcon1) abcTrayIcon1->ShowBalloon(text);
}

void TForm1::TrayMenuClick(UINT item) {
    switch (item) {
    case kTrayShow:
        abcTrayIcon1->RestoreForm();
        break;
    case kTrayUpdateNow:
        abcButton1Click(nullptr);
        break;
    case kTrayOpenLog:
        OpenUploadLog();
        break;
    case kTrayStation:
        OpenStationDialog();
        break;
    case kTrayExit:
        // As closing the window: the loop ends and the icon goes with it.
        PostMessageW(Handle(), WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void TForm1::OpenUploadLog() {
    // The system names no folder for the user's local data: there is no log.
    if (UploadLog.Folder().empty()) return;
    const std::string file = UploadLog.FilePath();
    const bool haveLog = rtl::FileExists(file);
    std::string target = file;
    if (!haveLog) {
        // No line written yet: the folder where it will appear.
        CreateDirectoryW(rtl::Wide(UploadLog.Folder()).c_str(), nullptr);
        target = UploadLog.Folder();
    }
    // An elevated run takes the machine's associations only (a ".log" file,
    // else a text file; a folder).
    if (ui::MachineAssociationsOnly()) {
        if (ui::OpenWithMachineClass(Handle(), target, haveLog ? std::vector<std::string>{".log", ".txt"}
                                                               : std::vector<std::string>{"Folder"},
                                     SW_SHOWNORMAL))
            return;
        throw rtl::Exception("Couldn't open " + target + " (error " + std::to_string(GetLastError()) + ")");
    }
    const std::wstring wideTarget = rtl::Wide(target);
    auto error = reinterpret_cast<INT_PTR>(
        ShellExecuteW(Handle(), L"open", wideTarget.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (error > 32) return;
    if (error == SE_ERR_NOASSOC && haveLog) {
        // No program for ".log" files here: the one for text files.
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_FLAG_NO_UI;
        info.hwnd = Handle();
        info.lpVerb = L"open";
        info.lpFile = wideTarget.c_str();
        info.lpClass = L".txt";
        info.nShow = SW_SHOWNORMAL;
        // Judged by what it returns, with the system's error number where it failed.
        if (ShellExecuteExW(&info)) return;
        error = static_cast<INT_PTR>(GetLastError());
    }
    throw rtl::Exception("Couldn't open " + target + " (error " + std::to_string(error) + ")");
}

void TForm1::ShowLoginVerdict(const std::string& validation, const upload::LoginVerdict& verdict) {
    // No reply seen (the session never got that far): what is shown stays.
    if (verdict.kind == upload::LoginVerdictKind::None || !LoginStatus) return;
    const upload::LoginNotice notice = upload::NoticeFor(validation, verdict);
    // A login the server accepted clears an earlier warning.
    ShowStatusLine(notice.status);
    if (notice.Empty()) return;
    SetTrayHint(notice.hint);
}

void TForm1::ShowStatusLine(const std::string& line) {
    if (!LoginStatus) return;
    // While a warning holds, the line is not cleared but shows it.
    const std::string text = line.empty() ? RestingWarning() : line;
    if (text.empty()) {
        LoginStatus->SetText("");
        ShowWindow(LoginStatus->Handle(), SW_HIDE);
        return;
    }
    LoginStatus->SetText(" " + text + " ");
    // Never over the lamp at the right end of the line.
    RECT r{};
    GetWindowRect(LoginStatus->Handle(), &r);
    const int room = rtl::ScaleToDpi(kLoginStatusRoom, LoginStatus->Dpi());
    if (r.right - r.left > room)
        SetWindowPos(LoginStatus->Handle(), nullptr, 0, 0, room, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(LoginStatus->Handle(), SW_SHOWNA);
}

void TForm1::NoteOutcome(upload::AttemptOutcome outcome) {
    LastOutcome = outcome;
    // The attempt is over: what it showed gives way to the warning.
    ShowSilence(Silence.Note(outcome, rtl::Now(), Interval->Value()), true);
}

void TForm1::CheckSilence() {
    // An attempt under way keeps showing its progress until it ends.
    ShowSilence(Silence.Check(rtl::Now(), Interval->Value()), !Upload.UploadBusy);
}

void TForm1::ShowSilence(upload::SilenceWatch::Change change, bool between) {
    using Change = upload::SilenceWatch::Change;
    if (change == Change::Begins) {
        UploadLog.Write(upload::LogSilenceBegins(Silence.LastDelivery(), upload::SilenceReason(Silence.Reason())));
        // One notification marks the warning's start; none again until a
        // delivery has ended it.
        ShowTrayBalloon(Silence.Tip());
    }
    if (change == Change::Ends) {
        UploadLog.Write(upload::LogSilenceEnds());
        SetTrayIcon(kNormalIcon);
        // The warning's texts go; whatever else is shown stays.
        if (abcTrayIcon1 && abcTrayIcon1->Hint() == warningTip_) SetTrayHint(kWaitingHint);
        if (LoginStatus && LoginStatus->Text() == " " + warningStatus_ + " ") ShowStatusLine("");
        warningTip_.clear();
        warningStatus_.clear();
        return;
    }
    if (!Silence.Warning()) return;
    SetTrayIcon(kWarningIcon);
    // The warning's texts (the reason may have changed with the latest attempt).
    warningTip_ = Silence.Tip();
    warningStatus_ = Silence.Text();
    // Between attempts, whatever was shown meanwhile gives way to them.
    if (!between) return;
    if (abcTrayIcon1 && abcTrayIcon1->Hint() != warningTip_) abcTrayIcon1->SetHint(warningTip_);
    if (LoginStatus && LoginStatus->Text() != " " + warningStatus_ + " ") ShowStatusLine(warningStatus_);
}

void TForm1::SetTrayIcon(int resource) {
    if (resource == TrayIcon) return;
    TrayIcon = resource;
    if (abcTrayIcon1) abcTrayIcon1->LoadIconResource(GetModuleHandleW(nullptr), resource);
    if (OnTrayIconChanged) OnTrayIconChanged(resource);
}
