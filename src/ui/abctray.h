// The tray icon component: keeps an icon in the notification area for as
// long as the program runs, hides the window to it instead of minimizing,
// brings the window back on a click (or on Enter, Space or the menu key once
// the keyboard has reached the icon), carries the one-line status hint, shows
// a notification balloon when asked, and puts the icon back when the taskbar
// is re-created or loses it.
//
// TabcFormHook is its base: a component that sees the messages of its form's
// window before the form does (through a window subclass, so the form keeps
// its own window data) and the messages of the application window before the
// application does (through the application's hook list), and may consume
// them.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "rtl/Application.h"
#include "rtl/Timer.h"

namespace ui {

class TabcFormHook {
public:
    // Posted to the application window after the form's window was
    // destroyed; the second parameter names the component to hook again.
    static constexpr UINT kRehookMessage = 28675;

    // owner: the form's window. A child window stands for the form it sits
    // on (its parent); anything else is refused with "This component must be
    // owned by a TForm". formWindow, when given, tells the form's current
    // window, so that the hooks follow the form onto a re-created window.
    explicit TabcFormHook(HWND owner, std::function<HWND()> formWindow = {});
    TabcFormHook(const TabcFormHook&) = delete;
    TabcFormHook& operator=(const TabcFormHook&) = delete;
    virtual ~TabcFormHook();

    HWND FormHandle() const { return form_; }
    // Whether the component sits in front of the form's window procedure.
    bool Hooked() const { return formHooked_; }

    // Puts the component in front of the form's window procedure and into
    // the application window's hook list, then runs AfterHook.
    void HookForm();
    // Runs BeforeUnhook, then takes the component out of both again.
    void UnhookForm();

protected:
    // Called, in this order of declaration, at the points their names give;
    // each does nothing unless a descendant overrides it. The message
    // operations return true (with the result) to consume the message.
    virtual void AfterHook() {}
    virtual void BeforeUnhook() {}
    virtual bool ApplicationMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    virtual bool FormMessageBefore(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    virtual void FormMessageAfter(UINT msg, WPARAM wp, LPARAM lp, LRESULT result);

    // Whether the form is the application's main form.
    bool IsMainForm() const;

private:
    static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    bool OnApplicationMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    void InstallFormHook();
    void RemoveFormHook();
    void RemoveApplicationHook();
    void FormDestroyed();

    HWND form_;
    std::function<HWND()> formWindow_;
    bool formHooked_ = false;
    bool rehookPending_ = false;
    rtl::TApplication::HookId appHook_ = 0;
};

// The options, in their stored order: bit n of the set is the n-th value.
enum TabcTrayIconOption : unsigned {
    atiShowOnClick,            // a left click restores the window
    atiShowOnDblClick,         // a left double click restores the window
    atiMenuDefaultOnDblClick,  // a left double click runs the popup menu's default item
    atiHideApp,                // at start the window and its taskbar button are hidden
    atiHideOnMinimize,         // minimizing hides the window and its taskbar button instead
    atiHideOnClose,            // closing hides the window instead
    atiWin95Service,           // registers the process as a service (old consumer systems only)
    atiTerminateOnLogoff,      // the end of the logon ends the application; without it, it survives
    atiMonitorTray,            // the icon is checked regularly and added again when lost
};

class TabcTrayIconOptions {
public:
    TabcTrayIconOptions() = default;
    TabcTrayIconOptions(std::initializer_list<TabcTrayIconOption> options) {
        for (TabcTrayIconOption o : options) Include(o);
    }
    static TabcTrayIconOptions FromBits(unsigned bits) {
        TabcTrayIconOptions set;
        set.bits_ = bits & ((1u << (atiMonitorTray + 1)) - 1);
        return set;
    }
    unsigned Bits() const { return bits_; }
    bool Contains(TabcTrayIconOption o) const { return (bits_ >> o) & 1u; }
    TabcTrayIconOptions& Include(TabcTrayIconOption o) {
        bits_ |= 1u << o;
        return *this;
    }
    TabcTrayIconOptions& Exclude(TabcTrayIconOption o) {
        bits_ &= ~(1u << o);
        return *this;
    }
    bool operator==(const TabcTrayIconOptions&) const = default;

private:
    unsigned bits_ = 0;
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };
// Keys held with a mouse event. The shell reports none with a tray click,
// so the events always get an empty set.
using TShiftState = unsigned;

class TabcTrayIcon : public TabcFormHook {
public:
    // The icon's callback to the form. Where the shell took version 4 (see
    // ShellVersion): the event in the low word of the second parameter, the
    // icon identifier in its high word, and the point the event concerns in
    // the first (x in its low word, y in its high word). Elsewhere: first
    // parameter the icon identifier, second the mouse message.
    static constexpr UINT kCallbackMessage = 28679;
    // Posted to the application window: delete the icon, wait a second, add it.
    static constexpr UINT kReAddMessage = 28680;

    using TNotifyEvent = std::function<void(TabcTrayIcon* sender)>;
    using TMouseEvent = std::function<void(TabcTrayIcon* sender, TMouseButton button, TShiftState shift, int x, int y)>;
    using TMouseMoveEvent = std::function<void(TabcTrayIcon* sender, TShiftState shift, int x, int y)>;
    using TContextPopupEvent = std::function<void(TabcTrayIcon* sender, POINT mousePos, bool& handled)>;

    // Built "loading": property changes are only stored until Loaded runs.
    explicit TabcTrayIcon(HWND owner, std::function<HWND()> formWindow = {});
    ~TabcTrayIcon() override;

    // The set-up once the form has finished loading: hooks, the icon (when
    // Visible), hiding the window and its taskbar button (atiHideApp), the
    // service registration (atiWin95Service).
    void Loaded();

    bool Animated() const { return animated_; }
    void SetAnimated(bool animated);
    unsigned AnimateInterval() const { return animateTimer_.Interval(); }
    void SetAnimateInterval(unsigned ms) { animateTimer_.SetInterval(ms); }

    // At most 63 characters; a longer text keeps its first 63.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);

    // The component's own icon, at the system's small-icon size for the
    // dpi (nullptr: none; the form's or the application's icon is shown
    // then). Setting it copies the image; the caller keeps its own handle.
    HICON Icon() const { return icon_; }
    void SetIcon(HICON icon);
    // Takes the icon from an icon resource, loaded at the small-icon size
    // for the dpi; the resource is loaded again when the dpi changes.
    void LoadIconResource(HINSTANCE instance, int id);
    // The dpi the icon is made for: at first the owner window's.
    UINT Dpi() const { return dpi_; }
    void SetDpi(UINT dpi);

    // The images of the animation (owned by the caller), and the current one.
    HIMAGELIST Images() const { return images_; }
    void SetImages(HIMAGELIST images);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);

    unsigned MonitorInterval() const { return monitorTimer_.Interval(); }
    void SetMonitorInterval(unsigned ms) { monitorTimer_.SetInterval(ms); }

    TabcTrayIconOptions Options() const { return options_; }
    // Applies the option rules: a newly chosen click option replaces a
    // conflicting one, and atiWin95Service or atiTerminateOnLogoff is
    // always set.
    void SetOptions(TabcTrayIconOptions options);

    // The menu shown on a right click (owned by the caller; nullptr: none).
    // autoPopup false: only OnContextPopup runs. The menu follows the rules
    // for notification-area menus: the form comes to the foreground first,
    // so that the menu closes when the user clicks elsewhere. A chosen item
    // goes to OnMenuItemClick (to the form as WM_COMMAND when that is not set).
    HMENU PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(HMENU menu, bool autoPopup = true) {
        popupMenu_ = menu;
        autoPopup_ = autoPopup;
    }
    // Shows the popup menu at a screen position and waits for the user's
    // choice, as a right click on the icon does. Closed without a choice, it
    // gives the keyboard focus back to the notification area (version 4).
    void ShowPopupMenu(POINT at);

    // Shows one notification balloon by the icon: the application's title
    // above the text (at most 255 characters), with the warning sign, held
    // back by the system while the user does not want to be disturbed.
    // Returns whether the shell took it; nothing happens while the icon is
    // not shown or the text is empty.
    bool ShowBalloon(const std::string& text);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    TNotifyEvent OnClick, OnDblClick;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TContextPopupEvent OnContextPopup;
    // An item of the popup menu was chosen: its identifier.
    std::function<void(TabcTrayIcon* sender, UINT itemId)> OnMenuItemClick;
    // A balloon was handed to the shell, and it took it: its text as shown.
    std::function<void(const std::string& text)> OnBalloonShown;

    // Adds the icon to the notification area (nothing when it is there).
    void AddIcon();
    // Removes it (nothing when it is not there; a refusal is ignored).
    void DeleteIcon();
    // Shows the window, brings it to the foreground and restores it; its
    // taskbar button comes back with it.
    void RestoreForm();

    // The icon is in the notification area (as far as the component knows:
    // a refused add still counts, the monitor finds out).
    bool Shown() const { return shown_; }
    // The identifier of this component's icon, unique in the process.
    UINT Identifier() const { return id_; }
    // The notification record as last handed to the shell.
    const NOTIFYICONDATAW& NotifyData() const { return data_; }
    // Where the cursor was at the last mouse callback (screen coordinates);
    // with version 4, the point the shell gave with the last event (for the
    // keyboard, where the icon is).
    POINT CursorPos() const { return cursor_; }
    // The shell version the icon's callbacks follow: NOTIFYICON_VERSION_4
    // where the shell took it when the icon was last added (the keyboard
    // then reaches the icon: NIN_SELECT, NIN_KEYSELECT and WM_CONTEXTMENU
    // come), 0 where it refused it or the icon is not there.
    UINT ShellVersion() const { return shellVersion_; }
    bool MonitorRunning() const { return monitorTimer_.Enabled(); }
    // The message the shell sends when the taskbar is re-created; 0 when it
    // is not listened for (no "Version" of the shell's browser found).
    static UINT TaskbarCreatedMessage();

protected:
    bool ApplicationMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    bool FormMessageBefore(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void FillRecord();
    HICON CurrentIcon() const;
    // Takes ownership of the icon and shows it.
    void ReplaceIcon(HICON icon);
    void ModifyIcon();
    void MonitorTick();
    void AnimateTick();
    void UpdateAnimation();
    void HandleCallback(WPARAM wp, LPARAM lp);
    void Click(TMouseButton button);
    void DblClick(TMouseButton button);
    void ClickMenuItem(UINT itemId);
    void RegisterService(bool on);

    UINT id_;
    bool loading_ = true;
    bool animated_ = false;
    bool visible_ = true;
    bool shown_ = false;
    bool serviceRegistered_ = false;
    std::string hint_;
    HICON icon_ = nullptr;
    UINT dpi_;
    // The icon resource the icon came from (id 0: it did not).
    HINSTANCE resourceInstance_ = nullptr;
    int resourceId_ = 0;
    HIMAGELIST images_ = nullptr;
    int imageIndex_ = 0;
    TabcTrayIconOptions options_;
    HMENU popupMenu_ = nullptr;
    bool autoPopup_ = true;
    NOTIFYICONDATAW data_{};
    UINT shellVersion_ = 0;
    POINT cursor_{};
    rtl::TTimer monitorTimer_;
    rtl::TTimer animateTimer_;
    rtl::TTimer reAddTimer_;  // the second's pause before the icon comes back
};

}  // namespace ui
