// The main window's side of receiving from the station: the listener's
// wiring, the dialog "Receive from the station", what the status line, the
// tip and the log say of it, and the latest reading for an upload. Reading
// requests and turning them into readings is the station's receiver's
// (station/); the socket is the listener's (net/).
#include <winsock2.h>
#include <iphlpapi.h>

#include "Teskaprs1.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "net/Listener.h"
#include "net/WSocket.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/Exceptions.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Text.h"
#include "rtl/Utf.h"
#include "ui/MainWindowLayout.h"
#include "upload/Silence.h"

namespace {

const char kStationMenuText[] = "Receive from the station\xE2\x80\xA6";

const char kAnotherStation[] = "Another station is sending: see Receive from the station";
const char kNothingReceived[] = "Nothing received yet: check the station's settings and Windows Firewall";
const char kEnterHeight[] = "Enter the station's height: its pressure is the pressure at the station";
// Where the station's app sends its uploads.
const char kStationPath[] = "/data/report/";

// What a log line may take of a text the station sent.
constexpr std::size_t kMostTypeText = 40;

COLORREF ToColor(ui::Rgb c) { return RGB(c.r, c.g, c.b); }

// The port of the setting: 1 to 65535, else none.
std::optional<std::uint16_t> PortOf(const std::string& text) {
    int port = 0;
    if (!rtl::TryStrToInt(rtl::Trimmed(text), port) || port < 1 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

// The station's height in metres: a number with "." (or the user's decimal
// separator) between -500 and 9000; empty text is none.
std::optional<double> HeightOf(std::string text, bool feet, bool& valid) {
    text = rtl::Trimmed(text);
    valid = true;
    if (text.empty()) return std::nullopt;
    for (char& c : text)
        if (c == ',') c = '.';
    long double value = 0;
    if (!rtl::TryStrToFloat(text, '.', value) || !std::isfinite(static_cast<double>(value))) {
        valid = false;
        return std::nullopt;
    }
    const double metres = feet ? static_cast<double>(value) * 0.3048 : static_cast<double>(value);
    if (metres < -500 || metres > 9000) valid = false;
    return metres;
}

// Metres as stored: at most one decimal, "." as the decimal point.
std::string MetresText(double metres) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", metres);
    std::string out = text;
    if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) out.resize(out.size() - 2);
    return out == "-0" ? "0" : out;
}

// The station's type as the log names it: "GW2000A" of "GW2000A_V3.1.4".
std::string TypeName(const std::string& stationType) {
    std::string name = stationType.substr(0, stationType.find('_')).substr(0, kMostTypeText);
    return name.empty() ? "the station" : name;
}

// This computer's IPv4 addresses on the local network, for the station's
// app: those of the adapters that are not down, without loopback's 127/8. The helper library is
// loaded when asked for; the program does not link it.
std::vector<std::string> LocalAddresses() {
    std::vector<std::string> out;
    HMODULE library = rtl::LoadSystemLibrary("iphlpapi.dll");
    if (!library) return out;
    using GetAdapters = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
    auto get = reinterpret_cast<GetAdapters>(reinterpret_cast<void (*)()>(GetProcAddress(library, "GetAdaptersAddresses")));
    std::vector<unsigned char> buffer(16 * 1024);
    ULONG size = static_cast<ULONG>(buffer.size());
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG result = get ? get(AF_INET, flags, nullptr, reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size)
                       : ERROR_NOT_SUPPORTED;
    if (result == ERROR_BUFFER_OVERFLOW) {
        buffer.resize(size);
        result = get(AF_INET, flags, nullptr, reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
    }
    if (result == NO_ERROR) {
        for (auto* a = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()); a; a = a->Next) {
            if (a->OperStatus == IfOperStatusDown || a->OperStatus == IfOperStatusNotPresent) continue;
            for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
                if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
                const auto* b = reinterpret_cast<const unsigned char*>(
                    &reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr);
                char text[16];
                std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
                if (b[0] != 127 && station::IsLocalNetworkAddress(text)) out.emplace_back(text);
            }
        }
    }
    FreeLibrary(library);
    return out;
}

}  // namespace

// ---------------------------------------------------------------- the dialog

// A small window of the main window's kind, owned by it: the settings of
// receiving, what to enter in the station's app, the station taken and its
// last upload. "OK" puts the settings in force and stores them; closing it
// otherwise changes nothing.
class TForm1::StationDialog {
public:
    explicit StationDialog(TForm1& form) : form_(form) {
        const wchar_t className[] = L"TeskaprsStationDialog";
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        if (!GetClassInfoW(instance, className, &wc)) {
            wc = WNDCLASSW{};
            wc.lpfnWndProc = WindowProcedure;
            wc.hInstance = instance;
            wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
            wc.hbrBackground = CreateSolidBrush(ToColor(ui::kWindowColor));
            wc.lpszClassName = className;
            RegisterClassW(&wc);
        }
        const UINT dpi = form.Dpi();
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        RECT frame{0, 0, rtl::ScaleToDpi(kWidth, dpi), rtl::ScaleToDpi(kHeight, dpi)};
        rtl::AdjustWindowRectForDpi(frame, style, WS_EX_DLGMODALFRAME, dpi);
        RECT owner{};
        GetWindowRect(form.Handle(), &owner);
        handle_ = CreateWindowExW(WS_EX_DLGMODALFRAME, className, rtl::Wide("Receive from the station").c_str(), style,
                                  owner.left + 40, owner.top + 40, frame.right - frame.left, frame.bottom - frame.top,
                                  form.Handle(), nullptr, instance, this);
        if (!handle_) throw rtl::Exception("Cannot create the window Receive from the station");
        Build(dpi);
        rtl::Application().AddKeyboardWindow(handle_);
    }
    ~StationDialog() {
        controls_.clear();
        if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
    }
    StationDialog(const StationDialog&) = delete;
    StationDialog& operator=(const StationDialog&) = delete;

    HWND Handle() const { return handle_; }

    // The settings as they are in force, and what the receiver knows now.
    void Open() {
        listen_->SetChecked(form_.StationListen);
        port_->SetText(form_.StationPort);
        units_->SetItemIndex(0);
        height_->SetText(form_.StationHeight);
        Refresh();
        ShowWindow(handle_, SW_SHOWNORMAL);
        SetForegroundWindow(handle_);
        SetFocus(listen_->Handle());
    }

    // What the receiver knows now: the station taken, its last upload, and
    // whether its height is wanted.
    void Refresh() {
        std::string servers;
        for (const std::string& address : LocalAddresses()) servers += (servers.empty() ? "" : ", ") + address;
        if (servers.empty()) servers = "this computer's address";
        server_->SetText("Server: " + servers);
        path_->SetText("Port: " + form_.StationPort + "    Path: " + kStationPath +
                       "    Protocol: Ecowitt (or Wunderground)");
        station_->SetText(form_.StationKey.empty() ? "Station: none yet (the first station to send is taken)"
                                                   : "Station taken: key " + station::MaskedKey(form_.StationKey));
        forget_->SetEnabled(!form_.StationKey.empty());
        const auto& latest = form_.StationReceiver.Latest();
        if (latest) {
            const rtl::LocalTime now = rtl::ToLocal(rtl::Now());
            last_->SetText("Last upload: " + upload::ClockText(rtl::ToLocal(latest->received), now) + ", " +
                           (latest->stationType.empty() ? "type not given" : latest->stationType.substr(0, kMostTypeText)) +
                           ", from " + latest->sender);
        } else {
            last_->SetText("Last upload: none yet");
        }
        note_->SetText(latest && latest->pressureNeedsHeight && form_.StationHeight.empty() ? kEnterHeight : "");
    }

    // Tests press the buttons by name.
    rtl::TControl* Find(const std::string& name) const {
        for (const auto& c : controls_)
            if (c->Name() == name) return c.get();
        return nullptr;
    }

private:
    static constexpr int kWidth = 420, kHeight = 300;

    template <class T, class... Args>
    T* Add(Args&&... args) {
        auto control = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = control.get();
        raw->SetFont(form_.FileLocationDisplay->Font());
        controls_.push_back(std::move(control));
        return raw;
    }

    void Build(UINT dpi) {
        const COLORREF back = ToColor(ui::kWindowColor), input = ToColor(ui::kInputColor);
        auto at = [dpi](int left, int top, int width, int height) {
            return rtl::ScaleToDpi(rtl::TBounds{left, top, width, height}, dpi);
        };
        rtl::TLabel::Options plain;
        rtl::TLabel::Options wrapped;
        wrapped.wordWrap = true;
        int id = 100;
        listen_ = Add<rtl::TCheckBox>(handle_, id++, "StationListen", at(12, 12, 292, 20),
                                      "Receive the station's uploads on this computer", back, false);
        Add<rtl::TLabel>(handle_, id++, "StationPortLabel", at(12, 43, 120, 16), "Port:", back, plain);
        port_ = Add<rtl::TEdit>(handle_, id++, "StationPort", at(136, 40, 64, 21), input);
        port_->SetMaxLength(5);
        Add<rtl::TLabel>(handle_, id++, "StationHeightLabel", at(12, 71, 120, 16), "Station's height:", back, plain);
        height_ = Add<rtl::TEdit>(handle_, id++, "StationHeight", at(136, 68, 64, 21), input);
        height_->SetMaxLength(8);
        units_ = Add<rtl::TComboBox>(handle_, id++, "StationHeightUnits", at(206, 68, 80, 21), "", input, false);
        units_->AddItem("metres");
        units_->AddItem("feet");
        note_ = Add<rtl::TLabel>(handle_, id++, "StationNote", at(12, 96, 396, 30), "", back, wrapped);
        note_->SetFontColor(ToColor(ui::kServerTextColor));
        Add<rtl::TLabel>(handle_, id++, "StationAppLabel", at(12, 130, 396, 16),
                         "In the station's app, customized upload:", back, plain);
        server_ = Add<rtl::TLabel>(handle_, id++, "StationServer", at(24, 148, 384, 16), "", back, plain);
        path_ = Add<rtl::TLabel>(handle_, id++, "StationPath", at(24, 166, 384, 16), "", back, plain);
        station_ = Add<rtl::TLabel>(handle_, id++, "StationKey", at(12, 198, 300, 16), "", back, plain);
        forget_ = Add<rtl::TButton>(handle_, id++, "StationForget", at(320, 194, 88, 24), "Forget", back);
        last_ = Add<rtl::TLabel>(handle_, id++, "StationLast", at(12, 228, 396, 16), "", back, plain);
        auto* ok = Add<rtl::TButton>(handle_, IDOK, "StationOK", at(228, 264, 86, 25), "OK", back);
        auto* cancel = Add<rtl::TButton>(handle_, IDCANCEL, "StationCancel", at(322, 264, 86, 25), "Cancel", back);
        ok->OnClick = [this](rtl::TControl*) { Accept(); };
        cancel->OnClick = [this](rtl::TControl*) { ShowWindow(handle_, SW_HIDE); };
        forget_->OnClick = [this](rtl::TControl*) {
            form_.StationKey.clear();
            form_.StationReceiver.Clear();
            form_.StoreStationSettings();
            form_.UploadLog.Write("the pinned station was forgotten: the next station to send is taken");
            Refresh();
        };
    }

    // OK: the settings in force and stored; a value that cannot be taken is
    // named and nothing changes.
    void Accept() {
        const std::optional<std::uint16_t> port = PortOf(port_->Text());
        bool heightValid = true;
        const std::optional<double> metres = HeightOf(height_->Text(), units_->ItemIndex() == 1, heightValid);
        if (!port) {
            note_->SetText("The port is a number from 1 to 65535 (8080 unless another program has it)");
            return;
        }
        if (!heightValid) {
            note_->SetText("The height is a number of metres or feet above sea level, or nothing");
            return;
        }
        form_.StationListen = listen_->Checked();
        form_.StationPort = rtl::Decimal(*port);
        form_.StationHeight = metres ? MetresText(*metres) : "";
        ShowWindow(handle_, SW_HIDE);
        form_.ApplyStationSettings();
        form_.StoreStationSettings();
    }

    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<StationDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
        if (msg == WM_NCDESTROY) {
            // Also when the main window takes it along as it goes.
            rtl::Application().RemoveKeyboardWindow(hwnd);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->handle_ = nullptr;
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        LRESULT result = 0;
        bool handled = false;
        rtl::Dispatch([&] {
            switch (msg) {
            case WM_COMMAND:
                // Enter and Escape, with no button of that name focused.
                if (!lp && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
                    if (LOWORD(wp) == IDOK)
                        self->Accept();
                    else
                        ShowWindow(hwnd, SW_HIDE);
                    handled = true;
                    break;
                }
                handled = rtl::ReflectToControl(msg, wp, lp, result);
                break;
            case WM_NOTIFY:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORLISTBOX:
                handled = rtl::ReflectToControl(msg, wp, lp, result);
                break;
            case WM_CLOSE:
                ShowWindow(hwnd, SW_HIDE);
                handled = true;
                break;
            default:
                break;
            }
        });
        return handled ? result : DefWindowProcW(hwnd, msg, wp, lp);
    }

    TForm1& form_;
    HWND handle_ = nullptr;
    std::vector<std::unique_ptr<rtl::TControl>> controls_;
    rtl::TCheckBox* listen_ = nullptr;
    rtl::TEdit* port_ = nullptr;
    rtl::TEdit* height_ = nullptr;
    rtl::TComboBox* units_ = nullptr;
    rtl::TLabel* note_ = nullptr;
    rtl::TLabel* server_ = nullptr;
    rtl::TLabel* path_ = nullptr;
    rtl::TLabel* station_ = nullptr;
    rtl::TButton* forget_ = nullptr;
    rtl::TLabel* last_ = nullptr;
};

// ---------------------------------------------------------------- the window's side

void TForm1::SetUpStation() {
    StationListener = std::make_shared<net::TListener>();
    StationListener->OnRequest = [this](const station::HttpRequest& request, const std::string& sender) {
        return StationRequest(request, sender);
    };
    StationQuietTimer.SetOnTimer([this] {
        StationQuietTimer.SetEnabled(false);
        if (!StationListen || StationReceiver.Latest() || !StationListener->Listening()) return;
        UploadLog.Write("nothing received from the station 2 minutes after receiving began: "
                        "check the station's settings and Windows Firewall");
        ShowStationStatus(kNothingReceived);
    });
    if (HMENU menu = GetSystemMenu(Handle(), FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, kStationCommand, rtl::Wide(kStationMenuText).c_str());
    }
}

void TForm1::ShowStationStatus(const std::string& text) {
    stationStatus_ = text;
    ShowStatusLine(text);
}

HWND TForm1::StationDialogHandle() const { return stationDialog_ ? stationDialog_->Handle() : nullptr; }

void TForm1::OpenStationDialog() {
    if (!stationDialog_) stationDialog_ = std::make_shared<StationDialog>(*this);
    stationDialog_->Open();
}

void TForm1::ApplyStationSettings() {
    const std::optional<std::uint16_t> port = PortOf(StationPort);
    if (!StationListen || !port) {
        StationQuietTimer.SetEnabled(false);
        if (!StationListener->Listening()) return;
        StationListener->Close();
        StationReceiver.Clear();
        UploadLog.Write("receiving from the station turned off");
        if (LoginStatus && LoginStatus->Text() == " " + stationStatus_ + " ") ShowStatusLine("");
        return;
    }
    if (StationListener->Listening() && StationListener->Port() == *port) return;
    receivingSince_ = rtl::Now();
    heightAsked_ = false;
    StationReceiver.Clear();
    stationError_ = StationListener->Listen(*port);
    const std::string number = rtl::Decimal(*port);
    if (stationError_ != 0) {
        StationQuietTimer.SetEnabled(false);
        UploadLog.Write("port " + number + " cannot be opened for the station: " + net::SocketErrorText(stationError_) +
                        " (error " + rtl::Decimal(stationError_) + ")");
        ShowStationStatus("Port " + number + " in use: choose another port");
        return;
    }
    UploadLog.Write("listening for the station on port " + number);
    ShowStationStatus("Receiving from the station on port " + number);
    StationQuietTimer.SetEnabled(false);
    StationQuietTimer.SetEnabled(true);
}

int TForm1::StationRequest(const station::HttpRequest& request, const std::string& sender) {
    station::ReceiverSettings settings;
    bool valid = true;
    settings.heightMetres = HeightOf(StationHeight, false, valid);
    if (!valid) settings.heightMetres.reset();
    settings.pinnedKey = StationKey;
    const rtl::TimePoint now = rtl::Now();
    // Silent until now: nothing taken since receiving began, or nothing for
    // longer than a reading stays fresh.
    const auto& before = StationReceiver.Latest();
    const bool wasSilent = !before || upload::ReportIsOld(before->received, now);
    const station::Taking taking = StationReceiver.Take(request, sender, now, settings);
    switch (taking.verdict) {
    case station::Taking::Verdict::Taken: {
        StationQuietTimer.SetEnabled(false);
        const auto& latest = StationReceiver.Latest();
        if (!taking.keyToPin.empty()) {
            StationKey = taking.keyToPin;
            try {
                StoreStationSettings();
            } catch (const std::exception&) {
                // Pinned for this run; the next save stores it.
            }
        }
        if (wasSilent && latest) UploadLog.Write("receiving from " + TypeName(latest->stationType) + " at " + sender);
        // The first upload ends what receiving said while it waited; the
        // request for the height stays while the height is wanted.
        const bool needsHeight = latest && latest->pressureNeedsHeight;
        if (!needsHeight || stationStatus_ != kEnterHeight) {
            if (LoginStatus && !stationStatus_.empty() && LoginStatus->Text() == " " + stationStatus_ + " ")
                ShowStatusLine("");
            stationStatus_.clear();
        }
        if (needsHeight && !heightAsked_) {
            heightAsked_ = true;
            UploadLog.Write("pressure not sent: the station's relative pressure equals its absolute one, and no "
                            "height is given; enter the station's height in Receive from the station");
            ShowStationStatus(kEnterHeight);
        }
        break;
    }
    case station::Taking::Verdict::OtherStation:
        UploadLog.Write("upload from " + sender + " refused: another station's key (see Receive from the station)");
        ShowStationStatus(kAnotherStation);
        break;
    case station::Taking::Verdict::FromBrowser:
        UploadLog.Write("request from " + sender + " refused: sent by a web page (Origin or Referer)");
        break;
    case station::Taking::Verdict::NotLocal:
        UploadLog.Write("request from " + sender + " refused: not from the local network");
        break;
    case station::Taking::Verdict::Unreadable:
        UploadLog.Write("request from " + sender + " not read: no weather station's upload");
        break;
    }
    if (stationDialog_ && IsWindowVisible(stationDialog_->Handle())) stationDialog_->Refresh();
    return taking.status;
}

std::optional<upload::ReportLines> TForm1::TakeStationReading() {
    const rtl::TimePoint now = rtl::Now();
    const auto& latest = StationReceiver.Latest();
    if (latest && !upload::ReportIsOld(latest->received, now)) return latest->lines;
    // Nothing fresh: since the last upload taken, or since receiving began.
    std::string status;
    if (!StationListener->Listening()) {
        status = stationError_ != 0 ? "Port " + StationPort + " in use: choose another port"
                                    : "Not receiving from the station: see Receive from the station";
    } else {
        const rtl::TimePoint since = latest ? latest->received : receivingSince_;
        status = "Station silent since " + upload::ClockText(rtl::ToLocal(since), rtl::ToLocal(now)) + ": nothing sent";
    }
    UploadLog.Write(std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(status[0])))) +
                    status.substr(1));
    ShowStatusLine(status);
    SetTrayHint(status);
    NoteOutcome(upload::AttemptOutcome::StationSilent);
    return std::nullopt;
}
