#include "Teskaprs1.h"

#include <algorithm>
#include <stdexcept>

#include "config/EasyRegAdvanced.h"
#include "config/StationSettings.h"
#include "net/WSocket.h"
#include "rtl/Accessibility.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/Exceptions.h"
#include "rtl/Utf.h"
#include "ui/Abcutil.h"
#include "ui/Abcversn.h"
#include "ui/MainWindowLayout.h"
#include "ui/abctray.h"
#include "ui/pvlUrl.h"
#include "upload/Scheduler.h"
#include "upload/UploadLog.h"

namespace {

const wchar_t kFormClass[] = L"TForm1";
// Control identifiers start above IDOK and IDCANCEL, which the dialog
// keys (Enter, Escape) send to the window.
const int kFirstControlId = 1000;
// Posted to the window by its constructor: name the fields for screen readers.
constexpr UINT kNameFieldsMessage = WM_APP + 1;
const DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

COLORREF ToColor(ui::Rgb c) { return RGB(c.r, c.g, c.b); }

HFONT CreateWindowFont(UINT dpi, bool bold, bool underline) {
    return CreateFontW(-rtl::ScaleToDpi(ui::kFontHeight, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                       underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, rtl::Wide(ui::kFontFace).c_str());
}

// The range of each integer spin field.
settings::IntRange SpinRange(const std::string& name) {
    if (name == "Interval") return settings::kIntervalRange;
    if (name == "LatDeg" || name == "LonDeg") return settings::kDegreesRange;
    if (name == "LatMin" || name == "LonMin") return settings::kMinutesRange;
    throw std::logic_error("no range for the spin field " + name);
}

}  // namespace

TForm1::TForm1() : Timer1(10000, false), Timer2(10, false), DelayTimer(60000, false) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kFormClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = &TForm1::WndProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kFormClass;
        RegisterClassW(&wc);
    }
    background_ = CreateSolidBrush(ToColor(ui::kWindowColor));

    // A fixed border with close and minimize only, the client area of the
    // layout, centred on the desktop; hidden until the creation handler
    // shows it. Made at the layout's size first, then sized for the dpi of
    // the monitor it opened on, keeping its centre there.
    auto place = [this](UINT dpi, bool create) {
        RECT frame{0, 0, rtl::ScaleToDpi(ui::kClientWidth, dpi), rtl::ScaleToDpi(ui::kClientHeight, dpi)};
        rtl::AdjustWindowRectForDpi(frame, kFormStyle, 0, dpi);
        const int width = frame.right - frame.left, height = frame.bottom - frame.top;
        const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        if (create)
            CreateWindowExW(0, kFormClass, rtl::Wide(ui::kWindowCaption).c_str(), kFormStyle, left, top, width, height,
                            rtl::Application().Handle(), nullptr, GetModuleHandleW(nullptr), this);
        else
            SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(rtl::kDesignDpi, true);
    if (!handle_) throw rtl::Exception("Cannot create the main window");
    rtl::Application().WatchForm(handle_);
    dpi_ = rtl::DpiOfWindow(handle_);
    if (dpi_ != rtl::kDesignDpi) place(dpi_, false);
    CreateFonts(dpi_);
    // The classes' icons are drawn for the system's dpi; only a window that
    // opened at another needs its own.
    if (dpi_ != rtl::SystemDpi()) LoadWindowIcons(dpi_);

    CreateControls();
    BindControls();
    if (dpi_ != rtl::kDesignDpi) FitIntervalGap();

    // Design state of the components and events.
    LatHem->AddItem("Northern");
    LatHem->AddItem("Southern");
    LonHem->AddItem("Western");
    LonHem->AddItem("Eastern");
    OpenDialog1.Filter = "txt files|*.txt";
    OpenDialog1.DefaultExt = "txt";
    OpenDialog1.FileName = "wxreport.txt";
    OpenDialog1.InitialDir = "c:\\tesk\\data";
    OpenDialog1.HideReadOnly = true;
    OpenDialog1.EnableSizing = true;
    BrowseButton->OnClick = [this](rtl::TControl* sender) { BrowseButtonClick(sender); };
    for (rtl::TCheckBox* box : {AutoServer, Minimized, AutoStart})
        box->OnClick = [this](rtl::TControl* sender) { AutoServerClick(sender); };

    // The components, in their stored order, then their set-up in the same
    // order: the version label reads the version, the tray icon adds its icon
    // and hides the window, the single-instance guard ends a second copy.
    SetUpUpload();
    SetUpSettings();
    SetUpLinks();
    SetUpDesktop();
    SetUpStation();
    // A failure while the box of an earlier one is open: the log and the
    // status line.
    rtl::Application().SetFailureNote([this](const std::string& text) {
        UploadLog.Write(upload::LogFailureNoted(text));
        ShowStatusLine(text);
    });

    rtl::Dispatch([this] { FormCreate(); });
    // The icon in the notification area, whatever became of the handler (a
    // window that stays hidden is reached from there).
    ShowTrayIcon();
    // Names for screen readers once the window is up (see NameFields).
    PostMessageW(handle_, kNameFieldsMessage, 0, 0);
}

void TForm1::NameFields() {
    // Screen readers name a field after the label just before it; the fields
    // without one of their own get a name of their own. COM starts only now:
    // under Wine its start takes tens of milliseconds, which the window does
    // not wait for. A second copy that is ending names nothing.
    if (rtl::Application().Terminating()) return;
    rtl::Application().StartCom();
    std::vector<std::pair<HWND, std::string>> names;
    for (const ui::ControlName& field : ui::UnlabelledFieldNames())
        if (rtl::TControl* control = FindControl(field.control)) names.emplace_back(control->Handle(), field.name);
    rtl::SetAccessibleNames(names);
}

TForm1::~TForm1() {
    rtl::Application().SetFailureNote(nullptr);
    // The timers and the connection stop before the window goes; the tray
    // icon removes its icon and the single-instance lock is released.
    Timer1.SetEnabled(false);
    Timer2.SetEnabled(false);
    DelayTimer.SetEnabled(false);
    SilenceTimer.SetEnabled(false);
    WSocket1.reset();
    abcSingleInstance1.reset();
    abcTrayIcon1.reset();
    if (handle_) DestroyWindow(handle_);
    // The application window outlives this window: it goes back to its
    // class's icon before these are destroyed.
    HWND app = rtl::Application().Handle();
    if (app && largeIcon_ && reinterpret_cast<HICON>(SendMessageW(app, WM_GETICON, ICON_BIG, 0)) == largeIcon_)
        SendMessageW(app, WM_SETICON, ICON_BIG, 0);
    if (app && smallIcon_ && reinterpret_cast<HICON>(SendMessageW(app, WM_GETICON, ICON_SMALL, 0)) == smallIcon_)
        SendMessageW(app, WM_SETICON, ICON_SMALL, 0);
    DeleteObject(font_);
    DeleteObject(boldFont_);
    DeleteObject(linkFont_);
    DeleteObject(background_);
    if (smallIcon_) DestroyIcon(smallIcon_);
    if (largeIcon_) DestroyIcon(largeIcon_);
}

void TForm1::CreateFonts(UINT dpi) {
    HFONT old[] = {font_, boldFont_, linkFont_};
    font_ = CreateWindowFont(dpi, false, false);
    boldFont_ = CreateWindowFont(dpi, true, false);
    linkFont_ = CreateWindowFont(dpi, false, true);
    for (const auto& control : controls_) {
        HFONT font = control->Font();
        control->SetFont(font == old[1] ? boldFont_ : font == old[2] ? linkFont_ : font_);
    }
    for (HFONT font : old)
        if (font) DeleteObject(font);
}

void TForm1::LoadWindowIcons(UINT dpi) {
    // Drawn for the sizes the system asks for at this dpi, not stretched.
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto load = [&](int metric) {
        const int size = rtl::SystemMetricForDpi(metric, dpi);
        return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
    };
    HICON small = load(SM_CXSMICON), large = load(SM_CXICON);
    // The application window carries the taskbar button: it shows the same.
    for (HWND window : {handle_, rtl::Application().Handle()}) {
        if (!window) continue;
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    }
    if (smallIcon_) DestroyIcon(smallIcon_);
    if (largeIcon_) DestroyIcon(largeIcon_);
    smallIcon_ = small;
    largeIcon_ = large;
}

void TForm1::FitToText(const ui::ControlLayout& c, rtl::TControl& control) {
    if (c.kind != ui::ControlKind::Label && c.kind != ui::ControlKind::LinkLabel) return;
    auto& label = static_cast<rtl::TLabel&>(control);
    if (c.flags & ui::kAutoSize)
        label.AdjustSize();
    else if (dpi_ != rtl::kDesignDpi)
        label.FitText();
}

void TForm1::FitIntervalGap() {
    // "Send every                 Mins.": Interval sits in the blanks. At
    // another scale than 96 dpi the font seldom grows exactly as the layout
    // does, so the blanks are counted again until "Mins." starts as far
    // right of the field as it does at 96 dpi.
    if (!Label5 || !Interval) return;
    std::string caption;
    rtl::TBounds design;
    for (const ui::ControlLayout& c : ui::MainWindowLayout())
        if (std::string(c.name) == "Label5") {
            caption = c.caption;
            design = rtl::TBounds{c.left, c.top, c.width, c.height};
        }
    if (dpi_ == rtl::kDesignDpi) {
        Label5->SetText(caption);
        return;
    }
    const size_t headEnd = caption.find("  "), tailStart = caption.find_last_of(' ') + 1;
    if (headEnd == std::string::npos) return;
    HDC dc = GetDC(Label5->Handle());
    HGDIOBJ old = SelectObject(dc, Label5->Font());
    auto width = [dc](const std::string& text) {
        SIZE size{};
        const std::wstring wide = rtl::Wide(text);
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return static_cast<int>(size.cx);
    };
    const rtl::TBounds label = Label5->Bounds(), field = Interval->Bounds();
    const int tailLeft = field.left + field.width + rtl::ScaleToDpi(4, dpi_) - label.left;
    std::string text = caption.substr(0, headEnd);
    while (width(text) < tailLeft && text.size() < caption.size() * 4) text += ' ';
    SelectObject(dc, old);
    ReleaseDC(Label5->Handle(), dc);
    Label5->SetText(text + caption.substr(tailStart));
    Label5->SetBounds(rtl::ScaleToDpi(design, dpi_));
    Label5->FitText();
}

HFONT TForm1::FontFor(const ui::ControlLayout& c) const {
    if (c.kind == ui::ControlKind::LinkLabel) return linkFont_;
    return (c.flags & ui::kBold) ? boldFont_ : font_;
}

void TForm1::ChangeDpi(UINT dpi, const RECT& suggested) {
    if (dpi != dpi_) {
        dpi_ = dpi;
        CreateFonts(dpi);
        LoadWindowIcons(dpi);
        if (abcTrayIcon1) abcTrayIcon1->SetDpi(dpi);
        // The table and the controls are in the same order.
        const auto layout = ui::MainWindowLayout();
        for (size_t i = 0; i < controls_.size() && i < layout.size(); ++i) {
            const ui::ControlLayout& c = layout[i];
            rtl::TControl& control = *controls_[i];
            control.SetDpi(dpi);
            control.SetBounds(rtl::ScaleToDpi(rtl::TBounds{c.left, c.top, c.width, c.height}, dpi));
            FitToText(c, control);
        }
    }
    FitIntervalGap();
    SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(handle_, nullptr, TRUE);
}

void TForm1::CreateControls() {
    using ui::ControlKind;
    const COLORREF window = ToColor(ui::kWindowColor);
    const COLORREF input = ToColor(ui::kInputColor);
    int id = kFirstControlId;
    for (const ui::ControlLayout& c : ui::MainWindowLayout()) {
        HWND parent = handle_;
        if (*c.parent) {
            rtl::TControl* owner = FindControl(c.parent);
            if (!owner) throw std::logic_error(std::string("parent not built before ") + c.name);
            parent = owner->Handle();
        }
        const rtl::TBounds bounds = rtl::ScaleToDpi(rtl::TBounds{c.left, c.top, c.width, c.height}, dpi_);
        std::unique_ptr<rtl::TControl> control;
        switch (c.kind) {
        case ControlKind::GroupBox:
            control = std::make_unique<rtl::TGroupBox>(parent, id, c.name, bounds, c.caption, window);
            break;
        case ControlKind::VersionLabel:
            control = std::make_unique<ui::TabcVersionLabel>(parent, id, c.name, bounds, window);
            break;
        case ControlKind::Label:
        case ControlKind::LinkLabel: {
            rtl::TLabel::Options options;
            if (c.flags & ui::kCentered) options.alignment = rtl::TLabel::Alignment::Center;
            if (c.flags & ui::kRightAligned) options.alignment = rtl::TLabel::Alignment::Right;
            options.wordWrap = (c.flags & ui::kWordWrap) != 0;
            options.autoSize = (c.flags & ui::kAutoSize) != 0;
            options.link = c.kind == ControlKind::LinkLabel;
            options.mouseTransparent = (c.flags & ui::kMouseTransparent) != 0;
            if (c.flags & ui::kWithinWidth) options.maxWidth = c.width;
            control = std::make_unique<rtl::TLabel>(parent, id, c.name, bounds, c.caption, window, options);
            if (options.link) control->SetFontColor(ToColor(ui::kLinkColor));
            break;
        }
        case ControlKind::Edit:
        case ControlKind::UpperCaseEdit:
            control = std::make_unique<rtl::TEdit>(parent, id, c.name, bounds, input,
                                                   c.kind == ControlKind::UpperCaseEdit);
            break;
        case ControlKind::Button:
        case ControlKind::MultiLineButton:
            control = std::make_unique<rtl::TButton>(parent, id, c.name, bounds, c.caption, window,
                                                     c.kind == ControlKind::MultiLineButton);
            break;
        case ControlKind::CheckBox:
            control = std::make_unique<rtl::TCheckBox>(parent, id, c.name, bounds, c.caption, window,
                                                       (c.flags & ui::kChecked) != 0);
            break;
        case ControlKind::ComboBox:
        case ControlKind::SortedComboBox:
            control = std::make_unique<rtl::TComboBox>(parent, id, c.name, bounds, c.caption, input,
                                                       c.kind == ControlKind::SortedComboBox);
            break;
        case ControlKind::SpinEdit:
            control = std::make_unique<rtl::TSpinEdit>(parent, id, c.name, bounds, input, SpinRange(c.name));
            break;
        case ControlKind::FloatSpinEdit:
            control = std::make_unique<rtl::TFloatSpinEdit>(parent, id, c.name, bounds, input);
            break;
        case ControlKind::Panel:
            control = std::make_unique<rtl::TPanel>(parent, id, c.name, bounds, ToColor(ui::kLampIdleColor), 2);
            break;
        }
        if (c.flags & ui::kRedText) control->SetFontColor(ToColor(ui::kServerTextColor));
        control->SetDpi(dpi_);
        control->SetFont(FontFor(c));
        FitToText(c, *control);
        controls_.push_back(std::move(control));
        ++id;
    }
}

template <class T>
void TForm1::Bind(T*& member, const char* name) {
    member = dynamic_cast<T*>(FindControl(name));
    if (!member) throw std::logic_error(std::string("the layout has no control ") + name + " of its kind");
}

void TForm1::BindControls() {
    Bind(GroupBox2, "GroupBox2");
    Bind(Label8, "Label8");
    Bind(FileLocationDisplay, "FileLocationDisplay");
    Bind(BrowseButton, "BrowseButton");
    Bind(Label5, "Label5");
    Bind(Interval, "Interval");
    Bind(Label3, "Label3");
    Bind(Callsign, "Callsign");
    Bind(Label4, "Label4");
    Bind(Validation, "Validation");
    Bind(Label21, "Label21");
    Bind(ComboBox1, "ComboBox1");
    Bind(Label10, "Label10");
    Bind(Label9, "Label9");
    Bind(LatDeg, "LatDeg");
    Bind(LatMin, "LatMin");
    Bind(LatSec, "LatSec");
    Bind(LatHem, "LatHem");
    Bind(Label6, "Label6");
    Bind(LonDeg, "LonDeg");
    Bind(LonMin, "LonMin");
    Bind(LonSec, "LonSec");
    Bind(LonHem, "LonHem");
    Bind(Minimized, "Minimized");
    Bind(AutoStart, "AutoStart");
    Bind(Button1, "Button1");
    Bind(Label17, "Label17");
    Bind(GroupBox1, "GroupBox1");
    Bind(Label1, "Label1");
    Bind(Label2, "Label2");
    Bind(ReadingWords, "ReadingWords");
    Bind(abcButton1, "abcButton1");
    Bind(GroupBox3, "GroupBox3");
    Bind(Label22, "Label22");
    Bind(serverNameEdit, "serverNameEdit");
    Bind(Label18, "Label18");
    Bind(ServerPortEdit, "ServerPortEdit");
    Bind(AutoServer, "AutoServer");
    Bind(Label11, "Label11");
    Bind(LED, "LED");
    Bind(Label20, "Label20");
    Bind(Label12, "Label12");
    Bind(Label13, "Label13");
    Bind(Label14, "Label14");
    Bind(Label15, "Label15");
    Bind(Label19, "Label19");
    Bind(Label7, "Label7");
    Bind(Label23, "Label23");
    Bind(Label16, "Label16");
    Bind(abcVersionLabel1, "abcVersionLabel1");
}

rtl::TControl* TForm1::FindControl(const std::string& name) const {
    for (const auto& control : controls_)
        if (control->Name() == name) return control.get();
    return nullptr;
}

// ---------------------------------------------------------------- handlers

void TForm1::FormCreate() {
    // 1. The station list, from the station table in slot order (the combo
    //    box shows it sorted). The server lists are built at each upload.
    ComboBox1->Clear();
    for (const std::string& model : upload::StationTable())
        if (!model.empty()) ComboBox1->AddItem(model);

    // 2. Creation values of the settings and of the status fields.
    FileLocationDisplay->SetText("");
    Callsign->SetText("");
    Validation->SetText("-1");
    Interval->SetValue(10);
    ComboBox1->SetItemIndex(-1);
    LatDeg->SetValue(0);
    LatMin->SetValue(0);
    LatSec->SetValue(0);
    LatHem->SetItemIndex(0);
    LonDeg->SetValue(0);
    LonMin->SetValue(0);
    LonSec->SetValue(0);
    LonHem->SetItemIndex(0);
    serverNameEdit->SetText("");
    ServerPortEdit->SetText("");
    Label1->SetText("");
    Label2->SetText("");
    Label20->SetText("");
    Label22->SetText("Server:");
    LED->SetColor(ToColor(ui::kLampIdleColor));

    // 3, 4. Probe the registry (Button1 follows), then restore the settings
    //    from the registry or the configuration file. A failure here ends the
    //    handler: the window stays hidden behind the tray icon and nothing is
    //    scheduled until the next save.
    RestoreSettings();

    // 5. Show the window unless it is to start minimized.
    if (!Minimized->Checked()) abcTrayIcon1->RestoreForm();

    // 6. At least ten minutes between uploads; the minute digit of the start.
    if (Interval->Value() < settings::kIntervalRange.min) Interval->SetValue(settings::kIntervalRange.min);
    StartDigit = upload::StartDigitOf(Callsign->Text());

    // 7.
    SetTrayHint("Waiting");

    // 8. The first tick after the alignment uploads at once.
    MinuteCounter = Interval->Value();

    // 9.
    AutoServerClick(AutoServer);

    // 10. Wait for the start minute.
    DelayTimer.SetEnabled(true);

    // Receiving from the station, when it is on.
    ApplyStationSettings();
}

void TForm1::AutoServerClick(rtl::TControl*) {
    // Whichever box was clicked: the server fields follow AutoServer.
    const bool automatic = AutoServer->Checked();
    const COLORREF color = ToColor(automatic ? ui::kDisabledServerColor : ui::kInputColor);
    for (rtl::TEdit* field : {serverNameEdit, ServerPortEdit}) {
        field->SetEnabled(!automatic);
        field->SetColor(color);
    }
}

void TForm1::BrowseButtonClick(rtl::TControl*) {
    if (OpenDialog1.Execute(handle_)) FileLocationDisplay->SetText(OpenDialog1.FileName);
}

upload::PacketSettings TForm1::ReadPacketSettings() const {
    upload::PacketSettings s;
    s.callsign = Callsign->Text();
    s.validation = Validation->Text();
    s.latDeg = LatDeg->Value();
    s.latMin = LatMin->Value();
    s.latSec = LatSec->Value();
    s.latHem = LatHem->ItemIndex();
    s.lonDeg = LonDeg->Value();
    s.lonMin = LonMin->Value();
    s.lonSec = LonSec->Value();
    s.lonHem = LonHem->ItemIndex();
    s.modelIndex = ComboBox1->ItemIndex();
    if (s.modelIndex >= 0) s.modelText = ComboBox1->Item(s.modelIndex);
    return s;
}

void TForm1::Show() {
    ShowWindow(handle_, SW_SHOWNORMAL);
    SetForegroundWindow(handle_);
}

void TForm1::Hide() { ShowWindow(handle_, SW_HIDE); }

// ---------------------------------------------------------------- window

LRESULT CALLBACK TForm1::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        form->handle_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        form->handle_ = nullptr;
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    bool handled = false;
    rtl::Dispatch([&] { handled = form->HandleMessage(msg, wp, lp, result); });
    return handled ? result : DefWindowProcW(hwnd, msg, wp, lp);
}

bool TForm1::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case kNameFieldsMessage:
        NameFields();
        result = 0;
        return true;
    case WM_COMMAND:
        if (rtl::ReflectToControl(msg, wp, lp, result)) return true;
        if (LOWORD(wp) == IDOK && !lp) {
            // Enter: a focused push button is clicked, as in a dialog.
            if (auto* button = dynamic_cast<rtl::TButton*>(rtl::TControl::FromHandle(GetFocus()))) button->Click();
            result = 0;
            return true;
        }
        return false;
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        return rtl::ReflectToControl(msg, wp, lp, result);
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(handle_, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, background_);
        result = 1;
        return true;
    }
    case WM_ACTIVATE:
        // The keyboard focus goes back to the control that had it, or to the
        // first field.
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus)) lastFocus_ = focus;
        } else if (!HIWORD(wp)) {
            HWND target = lastFocus_;
            if (!target || !IsWindow(target) || !IsChild(handle_, target) || !IsWindowEnabled(target) ||
                !IsWindowVisible(target))
                target = GetNextDlgTabItem(handle_, nullptr, FALSE);
            if (target) SetFocus(target);
        }
        result = 0;
        return true;
    case WM_SETTINGCHANGE:
        // The user's decimal separator may have changed ("intl"): the
        // seconds fields rewrite their text and keep their values. The time
        // zone may have changed too: the local minute follows it.
        for (rtl::TFloatSpinEdit* seconds : {LatSec, LonSec})
            if (seconds) seconds->LocaleChanged();
        rtl::TimeZoneChanged();
        return false;
    case WM_TIMECHANGE:
        // The clock or the time zone was changed: the local minute follows
        // it; each minute's tick finds its second again by itself.
        rtl::TimeZoneChanged();
        result = 0;
        return true;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) != kStationCommand) return false;
        OpenStationDialog();
        result = 0;
        return true;
    case WM_POWERBROADCAST:
        // Timers do not run while the system sleeps: after a resume the
        // schedule starts again from the alignment.
        if (wp == PBT_APMSUSPEND) {
            UploadLog.Write(upload::LogSuspending());
            Silence.Suspended(rtl::Now());
        }
        if (wp == PBT_APMRESUMEAUTOMATIC) ResumeSchedule();
        result = TRUE;
        return true;
    case WM_GETMINMAXINFO: {
        // The window keeps the size of its layout even on a screen smaller
        // than that (it can still be moved).
        RECT frame{0, 0, rtl::ScaleToDpi(ui::kClientWidth, dpi_), rtl::ScaleToDpi(ui::kClientHeight, dpi_)};
        rtl::AdjustWindowRectForDpi(frame, kFormStyle, 0, dpi_);
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMaxTrackSize.x = std::max<LONG>(info->ptMaxTrackSize.x, frame.right - frame.left);
        info->ptMaxTrackSize.y = std::max<LONG>(info->ptMaxTrackSize.y, frame.bottom - frame.top);
        result = 0;
        return true;
    }
    case WM_DPICHANGED:
        // Moved to a monitor of another scale (or the scale changed): the
        // new dpi in wParam, the rectangle to take in lParam.
        if (lp) ChangeDpi(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
        result = 0;
        return true;
    case WM_ENDSESSION:
        // Log-off or shut-down: the process may end without another word,
        // so the log's counts of repeats are written now.
        if (wp) UploadLog.Flush();
        result = 0;
        return true;
    case WM_CLOSE:
        // Closing the main window ends the program; nothing is saved.
        Hide();
        if (rtl::Application().MainForm() == handle_) rtl::Application().Terminate();
        result = 0;
        return true;
    default:
        return false;
    }
}
