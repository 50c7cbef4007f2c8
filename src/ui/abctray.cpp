#include "ui/abctray.h"

#include <shellapi.h>

#include <unordered_set>

#include "rtl/Controls.h"
#include "rtl/Exceptions.h"
#include "rtl/Subclass.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Utf.h"

namespace ui {

namespace {

// What the desktop offers, found once per process.
struct ShellFacts {
    // Windows NT 3.x has no notification area; there the icon calls do nothing.
    bool canHostIcons = true;
    // The message the shell broadcasts when the taskbar was re-created.
    // Shells that send it came with a browser that left its "Version"
    // behind; elsewhere only the monitor notices a lost icon.
    UINT taskbarCreated = 0;
};

const ShellFacts& Shell() {
    static const ShellFacts facts = [] {
        ShellFacts f;
        const DWORD version = GetVersion();
        const bool nt = (version & 0x80000000u) == 0;
        if (nt && LOBYTE(LOWORD(version)) <= 3) f.canHostIcons = false;
        HKEY key = nullptr;
        if (RegOpenKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", &key) == ERROR_SUCCESS) {
            if (RegQueryValueExW(key, L"Version", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                f.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
            RegCloseKey(key);
        }
        return f;
    }();
    return facts;
}

UINT NextIdentifier() {
    static UINT next = 0;
    return ++next;
}

HICON CopySmallIcon(HICON icon, UINT dpi) {
    if (!icon) return nullptr;
    const int size = rtl::SystemMetricForDpi(SM_CXSMICON, dpi);
    return static_cast<HICON>(CopyImage(icon, IMAGE_ICON, size, size, 0));
}

// The tip of the first form of the notification record: 63 characters and
// the terminating zero.
const size_t kTipLength = 63;

// The first characters of text (UTF-16 units) that fit a field of room
// characters with its terminating zero, never half of a surrogate pair.
std::wstring Fitted(const std::string& text, size_t room) {
    std::wstring wide = rtl::Wide(text);
    if (wide.size() < room) return wide;
    size_t length = room - 1;
    if (length > 0 && wide[length - 1] >= 0xD800 && wide[length - 1] <= 0xDBFF) --length;
    wide.resize(length);
    return wide;
}

template <size_t N>
void CopyFitted(wchar_t (&field)[N], const std::string& text) {
    const std::wstring fitted = Fitted(text, N);
    fitted.copy(field, fitted.size());
    field[fitted.size()] = L'\0';
}

// The components alive now: a message handler of the form may free one.
// Never destroyed, so that windows destroyed while the process ends (after
// a halt, by the application object's own destruction) still find it.
std::unordered_set<const void*>& LiveHooks() {
    static auto* live = new std::unordered_set<const void*>;
    return *live;
}

// One subclass per component (several components may hook one form).
UINT_PTR SubclassId(const void* component) { return reinterpret_cast<UINT_PTR>(component); }

}  // namespace

// ------------------------------------------------------------ TabcFormHook

TabcFormHook::TabcFormHook(HWND owner, std::function<HWND()> formWindow) : formWindow_(std::move(formWindow)) {
    // A form is a top-level window; a control on a form stands for it.
    HWND form = owner;
    if (form && IsWindow(form) && (GetWindowLongPtrW(form, GWL_STYLE) & WS_CHILD)) form = GetParent(form);
    if (!form || !IsWindow(form) || (GetWindowLongPtrW(form, GWL_STYLE) & WS_CHILD))
        throw rtl::Exception("This component must be owned by a TForm");
    form_ = form;
    LiveHooks().insert(this);
}

TabcFormHook::~TabcFormHook() {
    LiveHooks().erase(this);
    // The form gets its own procedure back when it is still there.
    RemoveFormHook();
    RemoveApplicationHook();
}

bool TabcFormHook::ApplicationMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
bool TabcFormHook::FormMessageBefore(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
void TabcFormHook::FormMessageAfter(UINT, WPARAM, LPARAM, LRESULT) {}

bool TabcFormHook::IsMainForm() const { return form_ && rtl::Application().MainForm() == form_; }

void TabcFormHook::HookForm() {
    if (formWindow_) {
        HWND current = formWindow_();
        if (current) form_ = current;
    }
    InstallFormHook();
    if (!appHook_)
        appHook_ = rtl::Application().AddMessageHook([this](UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
            return OnApplicationMessage(msg, wp, lp, result);
        });
    AfterHook();
}

void TabcFormHook::UnhookForm() {
    BeforeUnhook();
    RemoveFormHook();
    RemoveApplicationHook();
    rehookPending_ = false;
}

void TabcFormHook::InstallFormHook() {
    if (formHooked_ || !IsWindow(form_)) return;
    if (rtl::SetSubclass(form_, &TabcFormHook::FormProc, SubclassId(this), reinterpret_cast<DWORD_PTR>(this)))
        formHooked_ = true;
}

void TabcFormHook::RemoveFormHook() {
    if (!formHooked_) return;
    if (IsWindow(form_))
        rtl::RemoveSubclass(form_, &TabcFormHook::FormProc, SubclassId(this));
    formHooked_ = false;
}

void TabcFormHook::RemoveApplicationHook() {
    if (!appHook_) return;
    rtl::Application().RemoveMessageHook(appHook_);
    appHook_ = 0;
}

void TabcFormHook::FormDestroyed() {
    // The window is gone: the component waits for the form's next window.
    // The application hook stays, so that the request to hook again reaches
    // this component (and only this one, never after it is gone).
    BeforeUnhook();
    RemoveFormHook();
    rehookPending_ = true;
    if (HWND app = rtl::Application().Handle())
        PostMessageW(app, kRehookMessage, 0, reinterpret_cast<LPARAM>(this));
}

bool TabcFormHook::OnApplicationMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == kRehookMessage && lp == reinterpret_cast<LPARAM>(this)) {
        if (rehookPending_) {
            rehookPending_ = false;
            if (formWindow_) form_ = formWindow_();
            if (form_ && IsWindow(form_)) {
                InstallFormHook();
                AfterHook();
            }
        }
        result = 0;
        return true;
    }
    return ApplicationMessage(msg, wp, lp, result);
}

LRESULT CALLBACK TabcFormHook::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TabcFormHook*>(data);
    // After the form's own handling the component may be gone (a handler
    // may free it): only a component still in place is called then.
    auto stillHooked = [&] { return LiveHooks().count(self) && self->formHooked_ && self->form_ == hwnd; };
    if (msg == WM_DESTROY) {
        const LRESULT result = rtl::DefSubclass(hwnd, msg, wp, lp);
        if (!stillHooked()) return result;
        rtl::Dispatch([&] {
            self->FormMessageAfter(msg, wp, lp, result);
            self->FormDestroyed();
        });
        return result;
    }
    if (msg == WM_NCDESTROY) {
        // Never left behind on a window that is going away.
        self->RemoveFormHook();
        return rtl::DefSubclass(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    bool handled = false;
    rtl::Dispatch([&] { handled = self->FormMessageBefore(msg, wp, lp, result); });
    if (handled) return result;
    result = rtl::DefSubclass(hwnd, msg, wp, lp);
    if (stillHooked()) rtl::Dispatch([&] { self->FormMessageAfter(msg, wp, lp, result); });
    return result;
}

// ------------------------------------------------------------ TabcTrayIcon

TabcTrayIcon::TabcTrayIcon(HWND owner, std::function<HWND()> formWindow)
    : TabcFormHook(owner, std::move(formWindow)),
      id_(NextIdentifier()),
      dpi_(rtl::DpiOfWindow(owner)),
      options_{atiShowOnDblClick, atiHideApp, atiHideOnClose, atiTerminateOnLogoff},
      monitorTimer_(5000, false),
      animateTimer_(700, false),
      reAddTimer_(1000, false) {
    Shell();  // the facts of the desktop are settled before the first icon
    monitorTimer_.SetOnTimer([this] { MonitorTick(); });
    animateTimer_.SetOnTimer([this] { AnimateTick(); });
    reAddTimer_.SetOnTimer([this] {
        reAddTimer_.SetEnabled(false);
        if (!rtl::Application().Terminating() && visible_) AddIcon();
    });
}

TabcTrayIcon::~TabcTrayIcon() {
    monitorTimer_.SetEnabled(false);
    animateTimer_.SetEnabled(false);
    reAddTimer_.SetEnabled(false);
    DeleteIcon();
    if (icon_) DestroyIcon(icon_);
    icon_ = nullptr;
    if (serviceRegistered_) RegisterService(false);
    UnhookForm();
}

void TabcTrayIcon::Loaded() {
    loading_ = false;
    HookForm();
    if (visible_) AddIcon();
    if (options_.Contains(atiHideApp)) {
        ShowWindow(FormHandle(), SW_HIDE);
        rtl::Application().SetShowMainForm(false);
        if (HWND app = rtl::Application().Handle()) ShowWindow(app, SW_HIDE);
    }
    if (options_.Contains(atiWin95Service)) RegisterService(true);
    UpdateAnimation();
}

void TabcTrayIcon::RegisterService(bool on) {
    // Only the old consumer systems have it; elsewhere nothing happens.
    using RegisterServiceProcessFn = DWORD(WINAPI*)(DWORD, DWORD);
    const auto fn =
        rtl::BoundFunction<RegisterServiceProcessFn>(GetModuleHandleW(L"kernel32.dll"), "RegisterServiceProcess");
    if (fn) {
        fn(0, on ? 1 : 0);
        serviceRegistered_ = on;
    }
}

// ---- properties

void TabcTrayIcon::SetAnimated(bool animated) {
    animated_ = animated;
    UpdateAnimation();
}

void TabcTrayIcon::UpdateAnimation() { animateTimer_.SetEnabled(!loading_ && animated_ && images_); }

void TabcTrayIcon::SetHint(const std::string& hint) {
    hint_ = rtl::Narrow(Fitted(hint, kTipLength + 1));
    if (shown_) {
        CopyFitted(data_.szTip, hint_);
        Shell_NotifyIconW(NIM_MODIFY, &data_);
    }
}

void TabcTrayIcon::SetIcon(HICON icon) {
    resourceId_ = 0;
    ReplaceIcon(CopySmallIcon(icon, dpi_));
}

void TabcTrayIcon::ReplaceIcon(HICON icon) {
    if (icon_) DestroyIcon(icon_);
    icon_ = icon;
    ModifyIcon();
}

void TabcTrayIcon::LoadIconResource(HINSTANCE instance, int id) {
    // The image drawn for the size, where the resource has one.
    const int size = rtl::SystemMetricForDpi(SM_CXSMICON, dpi_);
    auto loaded = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
    if (!loaded) return;
    ReplaceIcon(loaded);
    resourceInstance_ = instance;
    resourceId_ = id;
}

void TabcTrayIcon::SetDpi(UINT dpi) {
    if (dpi == dpi_) return;
    dpi_ = dpi;
    if (resourceId_)
        LoadIconResource(resourceInstance_, resourceId_);
    else if (icon_)
        ReplaceIcon(CopySmallIcon(icon_, dpi_));
}

void TabcTrayIcon::SetImages(HIMAGELIST images) {
    images_ = images;
    if (images_ && ImageList_GetImageCount(images_) <= imageIndex_) imageIndex_ = -1;
    UpdateAnimation();
}

void TabcTrayIcon::SetImageIndex(int index) {
    // An index outside the list keeps the icon as it is.
    imageIndex_ = index;
    if (!images_ || index < 0 || index >= ImageList_GetImageCount(images_)) return;
    HICON image = ImageList_GetIcon(images_, index, ILD_NORMAL);
    if (!image) return;
    SetIcon(image);
    DestroyIcon(image);
}

void TabcTrayIcon::AnimateTick() {
    if (!images_) return;
    const int count = ImageList_GetImageCount(images_);
    if (count <= 0) return;
    const int next = imageIndex_ + 1 >= count ? 0 : imageIndex_ + 1;
    SetImageIndex(next);
}

void TabcTrayIcon::SetOptions(TabcTrayIconOptions options) {
    const TabcTrayIconOptions old = options_;
    if (options.Contains(atiShowOnClick) && options.Contains(atiShowOnDblClick))
        options.Exclude(old.Contains(atiShowOnDblClick) ? atiShowOnDblClick : atiShowOnClick);
    if (options.Contains(atiShowOnDblClick) && options.Contains(atiMenuDefaultOnDblClick))
        options.Exclude(old.Contains(atiShowOnDblClick) ? atiShowOnDblClick : atiMenuDefaultOnDblClick);
    if (old.Contains(atiWin95Service) && !options.Contains(atiWin95Service)) options.Include(atiTerminateOnLogoff);
    if (!options.Contains(atiTerminateOnLogoff)) options.Include(atiWin95Service);
    options_ = options;
    if (shown_) monitorTimer_.SetEnabled(options_.Contains(atiMonitorTray));
}

void TabcTrayIcon::SetVisible(bool visible) {
    visible_ = visible;
    if (loading_) return;
    if (visible_)
        AddIcon();
    else
        DeleteIcon();
}

UINT TabcTrayIcon::TaskbarCreatedMessage() { return Shell().taskbarCreated; }

// ---- the icon

HICON TabcTrayIcon::CurrentIcon() const {
    if (icon_) return icon_;
    HWND form = FormHandle();
    if (form && IsWindow(form)) {
        for (WPARAM kind : {ICON_SMALL, ICON_BIG})
            if (auto icon = reinterpret_cast<HICON>(SendMessageW(form, WM_GETICON, kind, 0))) return icon;
        for (int slot : {GCLP_HICONSM, GCLP_HICON})
            if (auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(form, slot))) return icon;
    }
    if (HICON icon = rtl::Application().Icon()) return icon;
    return LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
}

void TabcTrayIcon::FillRecord() {
    data_ = NOTIFYICONDATAW{};
    data_.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data_.hWnd = FormHandle();
    data_.uID = id_;
    // With version 4 the shell shows the tip only when asked to; the flag
    // means nothing to a shell that keeps the old callbacks.
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data_.uCallbackMessage = kCallbackMessage;
    data_.hIcon = CurrentIcon();
    CopyFitted(data_.szTip, hint_);
}

void TabcTrayIcon::ModifyIcon() {
    if (!shown_) return;
    data_.hIcon = CurrentIcon();
    Shell_NotifyIconW(NIM_MODIFY, &data_);
}

void TabcTrayIcon::AddIcon() {
    if (shown_ || !Shell().canHostIcons) return;
    FillRecord();
    // A refused add still counts as shown: the monitor finds the icon
    // missing and adds it again.
    const bool added = Shell_NotifyIconW(NIM_ADD, &data_);
    shown_ = true;
    // Version 4 lets the keyboard reach the icon; each new icon asks for it
    // again (after a re-created taskbar too). A shell that refuses it keeps
    // sending the old callbacks.
    shellVersion_ = 0;
    if (added) {
        NOTIFYICONDATAW version = data_;
        version.cbSize = sizeof version;
        version.uVersion = NOTIFYICON_VERSION_4;
        if (Shell_NotifyIconW(NIM_SETVERSION, &version)) shellVersion_ = NOTIFYICON_VERSION_4;
    }
    monitorTimer_.SetEnabled(options_.Contains(atiMonitorTray));
}

void TabcTrayIcon::DeleteIcon() {
    if (!shown_ || !Shell().canHostIcons) return;
    Shell_NotifyIconW(NIM_DELETE, &data_);
    shown_ = false;
    shellVersion_ = 0;
}

void TabcTrayIcon::MonitorTick() {
    if (!shown_) return;
    if (Shell_NotifyIconW(NIM_MODIFY, &data_)) return;
    // The shell lost the icon (or never took it): put it back.
    monitorTimer_.SetEnabled(false);
    DeleteIcon();
    AddIcon();
    monitorTimer_.SetEnabled(true);
}

void TabcTrayIcon::RestoreForm() {
    // A copy that is ending (a second start) shows nothing: its window
    // would only flash and take the foreground from the running copy.
    if (rtl::Application().Terminating()) return;
    HWND form = FormHandle();
    if (!form || !IsWindow(form)) return;
    // Shown and on top; the application window follows with the taskbar
    // button as soon as the form is visible.
    ShowWindow(form, SW_SHOW);
    SetWindowPos(form, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(form);
    ShowWindow(form, SW_RESTORE);
    if ((options_.Contains(atiHideApp) || options_.Contains(atiHideOnMinimize)) && IsMainForm())
        if (HWND app = rtl::Application().Handle()) ShowWindow(app, SW_RESTORE);
}

// ---- messages

bool TabcTrayIcon::FormMessageBefore(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_CLOSE:
        if (!options_.Contains(atiHideOnClose)) return false;
        ShowWindow(FormHandle(), SW_HIDE);
        result = 0;
        return true;
    case WM_SYSCOMMAND:
        // The low four bits belong to the system.
        if ((wp & 0xFFF0) != SC_MINIMIZE || !options_.Contains(atiHideOnMinimize)) return false;
        // Never minimized: the window and its taskbar button disappear.
        ShowWindow(FormHandle(), SW_HIDE);
        if (IsMainForm())
            if (HWND app = rtl::Application().Handle()) ShowWindow(app, SW_HIDE);
        result = 0;
        return true;
    case kCallbackMessage:
        HandleCallback(wp, lp);
        result = 0;
        return true;
    default:
        return false;
    }
}

bool TabcTrayIcon::ApplicationMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    const bool survivesLogoff = !options_.Contains(atiTerminateOnLogoff);
    switch (msg) {
    case WM_QUERYENDSESSION:
        if (survivesLogoff && (static_cast<DWORD>(lp) & ENDSESSION_LOGOFF)) {
            result = 1;
            return true;
        }
        return false;
    case WM_ENDSESSION:
        // Consumed, so the application does not end with the logon.
        return survivesLogoff && wp && (static_cast<DWORD>(lp) & ENDSESSION_LOGOFF);
    case WM_QUIT:
        DeleteIcon();
        return false;
    case WM_USERCHANGED:
        // Each component asks for its own icon, so that none is left out.
        if (survivesLogoff)
            if (HWND app = rtl::Application().Handle())
                PostMessageW(app, kReAddMessage, 0, reinterpret_cast<LPARAM>(this));
        return false;
    case kReAddMessage:
        if (lp != reinterpret_cast<LPARAM>(this)) return false;
        if (!rtl::Application().Terminating() && visible_) {
            DeleteIcon();
            // The second's pause runs on a timer, so the window stays alive.
            reAddTimer_.SetEnabled(false);
            reAddTimer_.SetEnabled(true);
        }
        result = 0;
        return true;
    default:
        break;
    }
    if (msg != 0 && msg == Shell().taskbarCreated) {
        if (visible_) {
            DeleteIcon();
            AddIcon();
        }
        // Let it through: every icon of the program has to come back.
        return false;
    }
    return false;
}

void TabcTrayIcon::HandleCallback(WPARAM wp, LPARAM lp) {
    const bool version4 = shellVersion_ >= NOTIFYICON_VERSION_4;
    UINT event = static_cast<UINT>(lp);
    if (version4) {
        if (HIWORD(lp) != id_) return;
        event = LOWORD(lp);
        cursor_ = POINT{static_cast<short>(LOWORD(wp)), static_cast<short>(HIWORD(wp))};
    } else {
        if (wp != id_) return;
        GetCursorPos(&cursor_);
    }
    const TShiftState none = 0;
    auto down = [&](TMouseButton b) {
        if (OnMouseDown) OnMouseDown(this, b, none, cursor_.x, cursor_.y);
    };
    auto up = [&](TMouseButton b) {
        if (OnMouseUp) OnMouseUp(this, b, none, cursor_.x, cursor_.y);
        // With version 4 the shell follows the left and right releases with
        // an event of its own (below), which is the click: one of each pair.
        if (!version4 || b == mbMiddle) Click(b);
    };
    switch (event) {
    case WM_MOUSEMOVE:
        if (OnMouseMove) OnMouseMove(this, none, cursor_.x, cursor_.y);
        break;
    case WM_LBUTTONDOWN: down(mbLeft); break;
    case WM_LBUTTONUP: up(mbLeft); break;
    case WM_LBUTTONDBLCLK: DblClick(mbLeft); break;
    case WM_RBUTTONDOWN: down(mbRight); break;
    case WM_RBUTTONUP: up(mbRight); break;
    case WM_RBUTTONDBLCLK: DblClick(mbRight); break;
    case WM_MBUTTONDOWN: down(mbMiddle); break;
    case WM_MBUTTONUP: up(mbMiddle); break;
    case WM_MBUTTONDBLCLK: DblClick(mbMiddle); break;
    // Version 4 only: the icon selected by the mouse or the keyboard (Enter,
    // Space), and its menu asked for (right button, menu key, Shift+F10).
    case NIN_SELECT:
    case NIN_KEYSELECT:
        if (version4) Click(mbLeft);
        break;
    case WM_CONTEXTMENU:
        if (version4) Click(mbRight);
        break;
    default: break;
    }
}

void TabcTrayIcon::Click(TMouseButton button) {
    if (button == mbLeft && options_.Contains(atiShowOnClick)) RestoreForm();
    if (button == mbRight) {
        bool handled = false;
        if (OnContextPopup) OnContextPopup(this, cursor_, handled);
        if (!handled && popupMenu_ && autoPopup_) ShowPopupMenu(cursor_);
    }
    if (OnClick) OnClick(this);
}

void TabcTrayIcon::ShowPopupMenu(POINT at) {
    if (!popupMenu_) return;
    // The form must be in the foreground, or the menu would not close when
    // the user clicks elsewhere; the null message afterwards lets the next
    // click on the icon open it again.
    HWND form = FormHandle();
    SetForegroundWindow(form);
    const UINT item = static_cast<UINT>(TrackPopupMenuEx(
        popupMenu_, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, form, nullptr));
    PostMessageW(form, WM_NULL, 0, 0);
    if (item) {
        ClickMenuItem(item);
    } else if (shown_ && shellVersion_ >= NOTIFYICON_VERSION_4) {
        // Closed without a choice: the keyboard goes back to the icons.
        Shell_NotifyIconW(NIM_SETFOCUS, &data_);
    }
}

bool TabcTrayIcon::ShowBalloon(const std::string& text) {
    if (!shown_ || text.empty() || !Shell().canHostIcons) return false;
    // The icon's record as it stands, with the balloon.
    NOTIFYICONDATAW balloon = data_;
    balloon.cbSize = sizeof balloon;
    balloon.uFlags |= NIF_INFO;
    CopyFitted(balloon.szInfo, text);
    CopyFitted(balloon.szInfoTitle, rtl::Application().Title());
    balloon.dwInfoFlags = NIIF_WARNING | NIIF_RESPECT_QUIET_TIME;
    if (!Shell_NotifyIconW(NIM_MODIFY, &balloon)) return false;
    if (OnBalloonShown) OnBalloonShown(rtl::Narrow(balloon.szInfo));
    return true;
}

void TabcTrayIcon::ClickMenuItem(UINT itemId) {
    if (OnMenuItemClick)
        OnMenuItemClick(this, itemId);
    else
        PostMessageW(FormHandle(), WM_COMMAND, MAKEWPARAM(itemId, 0), 0);
}

void TabcTrayIcon::DblClick(TMouseButton button) {
    if (button == mbLeft) {
        if (options_.Contains(atiShowOnDblClick)) {
            RestoreForm();
        } else if (options_.Contains(atiMenuDefaultOnDblClick) && popupMenu_) {
            const UINT item = GetMenuDefaultItem(popupMenu_, FALSE, 0);
            if (item != static_cast<UINT>(-1)) ClickMenuItem(item);
        }
    }
    if (OnDblClick) OnDblClick(this);
}

}  // namespace ui
