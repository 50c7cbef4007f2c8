// The main window: the station settings, the status of the last reading and
// upload, the links; and the event handlers that carry the program's logic.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rtl/Clock.h"
#include "rtl/Controls.h"
#include "rtl/Dialogs.h"
#include "rtl/Timer.h"
#include "station/Receiver.h"
#include "upload/Intake.h"
#include "upload/Packet.h"
#include "upload/LoginReply.h"
#include "upload/Outcome.h"
#include "upload/SensorWatch.h"
#include "upload/Session.h"
#include "upload/Silence.h"
#include "upload/UploadLogFile.h"
#include "upload/Weather.h"

namespace config { class TEasyRegAdvanced; }
namespace net { class TListener; class TWSocket; }
namespace ui {
struct ControlLayout;
class TabcSingleInstance;
class TabcTrayIcon;
class TabcVersionLabel;
class TpvlUrl;
}  // namespace ui

class TForm1 {
public:
    // Builds the window hidden, with its controls and components, then runs
    // the creation handler FormCreate (a failure there is shown and ends the
    // handler at that step; the window is still built).
    TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;
    ~TForm1();

    HWND Handle() const { return handle_; }
    // The dpi the window and its controls are laid out for.
    UINT Dpi() const { return dpi_; }

    // The control of that name, or nullptr.
    rtl::TControl* FindControl(const std::string& name) const;
    // Every control, in the order they were built.
    const std::vector<std::unique_ptr<rtl::TControl>>& Controls() const { return controls_; }

    // Configuration.
    rtl::TGroupBox* GroupBox2 = nullptr;
    rtl::TLabel* Label8 = nullptr;
    rtl::TEdit* FileLocationDisplay = nullptr;
    rtl::TButton* BrowseButton = nullptr;
    rtl::TLabel* Label5 = nullptr;
    rtl::TSpinEdit* Interval = nullptr;
    rtl::TLabel* Label3 = nullptr;
    rtl::TEdit* Callsign = nullptr;
    rtl::TLabel* Label4 = nullptr;
    rtl::TEdit* Validation = nullptr;
    rtl::TLabel* Label21 = nullptr;
    rtl::TComboBox* ComboBox1 = nullptr;
    rtl::TLabel* Label10 = nullptr;
    rtl::TLabel* Label9 = nullptr;
    rtl::TSpinEdit* LatDeg = nullptr;
    rtl::TSpinEdit* LatMin = nullptr;
    rtl::TFloatSpinEdit* LatSec = nullptr;
    rtl::TComboBox* LatHem = nullptr;
    rtl::TLabel* Label6 = nullptr;
    rtl::TSpinEdit* LonDeg = nullptr;
    rtl::TSpinEdit* LonMin = nullptr;
    rtl::TFloatSpinEdit* LonSec = nullptr;
    rtl::TComboBox* LonHem = nullptr;
    rtl::TCheckBox* Minimized = nullptr;
    rtl::TCheckBox* AutoStart = nullptr;
    rtl::TButton* Button1 = nullptr;
    rtl::TLabel* Label17 = nullptr;
    // Tesk data.
    rtl::TGroupBox* GroupBox1 = nullptr;
    rtl::TLabel* Label1 = nullptr;
    rtl::TLabel* Label2 = nullptr;
    rtl::TLabel* ReadingWords = nullptr;  // the reading in plain words
    rtl::TButton* abcButton1 = nullptr;
    // APRS.
    rtl::TGroupBox* GroupBox3 = nullptr;
    rtl::TLabel* Label22 = nullptr;
    rtl::TEdit* serverNameEdit = nullptr;
    rtl::TLabel* Label18 = nullptr;
    rtl::TEdit* ServerPortEdit = nullptr;
    rtl::TCheckBox* AutoServer = nullptr;
    rtl::TLabel* Label11 = nullptr;
    rtl::TPanel* LED = nullptr;
    rtl::TLabel* Label20 = nullptr;
    rtl::TLabel* Label12 = nullptr;
    rtl::TLabel* Label13 = nullptr;
    rtl::TLabel* Label14 = nullptr;
    rtl::TLabel* Label15 = nullptr;
    // On the window.
    rtl::TLabel* Label19 = nullptr;
    rtl::TLabel* Label7 = nullptr;
    rtl::TLabel* Label23 = nullptr;
    rtl::TLabel* Label16 = nullptr;
    ui::TabcVersionLabel* abcVersionLabel1 = nullptr;

    // Components without a visible area, in their stored order.
    std::unique_ptr<net::TWSocket> WSocket1;
    rtl::TOpenDialog OpenDialog1;
    std::unique_ptr<config::TEasyRegAdvanced> EasyRegAdvanced1;
    std::unique_ptr<ui::TpvlUrl> pvlUrl1;
    std::unique_ptr<ui::TabcTrayIcon> abcTrayIcon1;
    std::unique_ptr<ui::TabcSingleInstance> abcSingleInstance1;
    rtl::TTimer Timer1;      // connection watchdog
    rtl::TTimer Timer2;      // schedule tick
    rtl::TTimer DelayTimer;  // start alignment
    // The silence check, once a minute from the start, whether the schedule
    // runs or not.
    rtl::TTimer SilenceTimer{60000, true};

    // UploadBusy, CurrentPacket.
    upload::UploadState Upload;
    // The clock the last report's time was written in: the log says once
    // when it becomes local time, or neither clock.
    upload::StampInUtc ReportClock;

    // Event handlers of the window itself (Teskaprs1.cpp).
    void FormCreate();
    void AutoServerClick(rtl::TControl* sender);
    void BrowseButtonClick(rtl::TControl* sender);

    // ---- Settings store and configuration file (Teskaprs1Settings.cpp) ----
    // True when the settings, the last packet and the autostart value live
    // in the registry, under EasyRegAdvanced1's root for the whole run
    // (HKEY_LOCAL_MACHINE's 32-bit view, else HKEY_CURRENT_USER); decided
    // once by the write probes.
    bool RegistryMode = false;
    // The last packet delivered, when not in registry mode.
    std::string LastPacket;
    // Wires Button1 and gives EasyRegAdvanced1 its design values.
    void SetUpSettings();
    // Creation steps 3 and 4: the write probes (RegistryMode, the root in
    // use, Button1), then the restore from the registry (the user's settings,
    // or the machine's while the user has saved none) or from the
    // configuration file. A failure that must end the creation handler is
    // raised.
    void RestoreSettings();
    void Button1Click(rtl::TControl* sender);
    // The last packet delivered ("APRSpacket" or LastPacket); a failed read
    // gives empty text.
    std::string ReadStoredPacket();
    // Records the packet as the last one delivered; registry failures are raised.
    void StorePacket(const std::string& packet);
    // Receiving from the station: on or off, the port, the station's height
    // (metres, "." as the decimal point; empty: none given) and the pinned
    // key (empty: the next station's is pinned). In force at once; stored
    // with the other settings, and by the station's dialog at once.
    bool StationListen = false;
    std::string StationPort = "8080", StationHeight, StationKey;
    // In registry mode, writes those four values; failures are raised.
    void StoreStationSettings();
    // ---- end of settings store ----

    // ---- Receiving from the station (Teskaprs1Station.cpp) ----
    // While StationListen is on, the station's own uploads come to this
    // listener, and the latest reading taken from them is what "Update Now"
    // and the schedule send, instead of the report file.
    std::shared_ptr<net::TListener> StationListener;
    station::Receiver StationReceiver;
    // Two minutes after receiving was turned on: whether anything came.
    rtl::TTimer StationQuietTimer{120000, false};
    // Creates the listener, adds "Receive from the station..." to the
    // window's system menu.
    void SetUpStation();
    // The system menu's item that opens the dialog (below 0xF000, its low
    // four bits clear).
    static constexpr UINT kStationCommand = 0x0110;
    // Listens, or stops listening, as the settings say now; the status line
    // and the log say what came of it.
    void ApplyStationSettings();
    // The dialog "Receive from the station" (made at its first opening,
    // hidden when closed).
    void OpenStationDialog();
    HWND StationDialogHandle() const;
    // A whole request from sender: taken, or refused; the answer's status.
    int StationRequest(const station::HttpRequest& request, const std::string& sender);
    // For an upload while receiving: the latest reading, when it is fresh.
    // Otherwise nothing, and the attempt has ended (status line, tip, log).
    std::optional<upload::ReportLines> TakeStationReading();

private:
    class StationDialog;
    std::shared_ptr<StationDialog> stationDialog_;
    rtl::TimePoint receivingSince_{};  // receiving turned on (or its port changed)
    int stationError_ = 0;             // the sockets error of the last Listen
    bool heightAsked_ = false;         // the height was asked for once
    std::string stationStatus_;        // the status line receiving put up last
    void ShowStationStatus(const std::string& text);

public:
    // ---- end of receiving ----

    // ---- Links and version label (Teskaprs1Links.cpp) ----
    // Gives the version label its item and options and lets it read the
    // version; wires the link labels.
    void SetUpLinks();
    void Label13Click(rtl::TControl* sender);
    void Label15Click(rtl::TControl* sender);
    void Label23Click(rtl::TControl* sender);
    // Label15's caption: the station page base followed by the callsign as typed.
    void SetStationLinkCaption();
    // The "FileVersion" entry of the executable's version resource.
    std::string FileVersion() const;
    // ---- end of links ----

    // ---- Tray icon and single instance (Teskaprs1Tray.cpp) ----
    // Creates abcTrayIcon1 and abcSingleInstance1 and lets them finish their
    // set-up (the window hidden, a second copy ended).
    void SetUpDesktop();
    // Adds the icon to the notification area, once the creation handler ran.
    void ShowTrayIcon();
    // The tray icon's hint (empty when there is no tray icon).
    void SetTrayHint(const std::string& hint);
    // One notification balloon by the tray icon with this text (nothing
    // without a tray icon).
    void ShowTrayBalloon(const std::string& text);
    // The tray icon's right-click menu and its items.
    enum TrayMenuItem : UINT { kTrayShow = 1, kTrayUpdateNow, kTrayOpenLog, kTrayExit, kTrayStation };
    HMENU TrayMenu() const { return trayMenu_.handle; }
    void TrayMenuClick(UINT item);
    // "Open log": the log in the user's editor, or its folder while there
    // is no log yet.
    void OpenUploadLog();
    // The upload log (written by the upload, opened from the tray menu).
    upload::TUploadLog UploadLog;
    // What the server said to the login, after a session: the status line
    // LoginStatus and the tray hint, both only for a verdict the station
    // owner has to act on (empty status: the line is cleared).
    void ShowLoginVerdict(const std::string& validation, const upload::LoginVerdict& verdict);
    rtl::TLabel* LoginStatus = nullptr;
    // The status line (LoginStatus) with this text, or hidden for empty text
    // (while a warning holds, the silence or a stuck sensor, empty text shows it).
    void ShowStatusLine(const std::string& text);
    // Every upload attempt ends here once, with what became of it: the last
    // outcome is kept, and a delivery is remembered with its time.
    void NoteOutcome(upload::AttemptOutcome outcome);
    upload::AttemptOutcome LastOutcome = upload::AttemptOutcome::Delivered;
    // Nothing delivered for three intervals: the warning icon, and the tip
    // and status line say since when and why, until the next delivery.
    // Counted from the window's creation.
    upload::SilenceWatch Silence{rtl::Now()};
    // Checks the silence at a schedule tick (or an attempt's end) and shows
    // it: the warning's texts are what the tip and status line come back to
    // while it holds.
    void CheckSilence();
    // The tray icon's resource: kNormalIcon, or kWarningIcon while the
    // warning holds; a hook (tests) sees each switch.
    enum TrayIconResource : int { kNormalIcon = 1, kWarningIcon = 2 };
    int TrayIcon = kNormalIcon;
    std::function<void(int resource)> OnTrayIconChanged;

private:
    // Shows what a check of the silence found; `between` when no attempt
    // shows its progress in the texts now.
    void ShowSilence(upload::SilenceWatch::Change change, bool between);
    void SetTrayIcon(int resource);
    // The tip and status line the warning put up (empty: none).
    std::string warningTip_, warningStatus_;
    struct MenuHandle {
        HMENU handle = nullptr;
        ~MenuHandle() {
            if (handle) DestroyMenu(handle);
        }
    } trayMenu_;

public:
    // ---- end of tray ----

    // ---- Sensor checks (Teskaprs1Sensors.cpp) ----
    // The readings since the start: jumps held back, stuck sensors named.
    upload::SensorWatch Sensors;
    // Takes a reading into Sensors before it is composed (a jump in it is
    // marked held back), logs each stuck sensor's warning as it begins and
    // ends, announces its beginning once, and shows it between attempts.
    void WatchSensors(const upload::ReportLines& lines, upload::WeatherReading& weather);
    // The first stuck sensor's warning as read now ("Check the temperature
    // sensor: 72 °F since 06:10"); empty when no sensor is stuck.
    std::string SensorWarning() const;
    // What the tip and the status line show between attempts: the silence
    // warning, else a sensor's; empty when neither holds.
    std::string RestingWarning() const;

private:
    std::string sensorShown_;  // the sensor warning last put up

public:
    // ---- end of sensor checks ----

    // ---- Upload session and scheduler (Teskaprs1Upload.cpp) ----
    // Creates WSocket1 and wires its events and the timers.
    void SetUpUpload();
    // The units of Windows' measurement setting.
    static upload::Units MeasurementUnits();
    void abcButton1Click(rtl::TControl* sender);
    void DoUpload();
    // How long one look at the report may take (tests shorten it).
    unsigned long ReportLookDeadlineMs = upload::kReportLookDeadlineMs;
    // The session with the server, driven by WSocket1's events.
    void WSocket1DataSent(net::TWSocket* sender, std::uint16_t errCode);
    void WSocket1SessionClosed(net::TWSocket* sender, std::uint16_t errCode);
    void WSocket1Error(net::TWSocket* sender);
    // The connection watchdog: no connection within its period, next server.
    void Timer1Timer(rtl::TTimer* sender);
    // The schedule: the start alignment (DelayTimer) and the tick (Timer2).
    void DelayTimerTimer(rtl::TTimer* sender);
    void ThreadTimer1Timer(rtl::TTimer* sender);
    void SilenceTimerTimer(rtl::TTimer* sender);
    // After a save: the schedule waits for the start minute again.
    void RearmSchedule();
    // After a resume from sleep: the same, and the first start minute uploads.
    void ResumeSchedule();
    // Minute digit of the start alignment, and the minutes counted since the
    // last scheduled upload (ticks while the schedule catches up).
    int StartDigit = 0;
    int MinuteCounter = 0;
    // The server lists, the position being tried and the delivery cycle.
    upload::SessionState Session;
    // The attempt whose connection is under way, with what it sends and the
    // steps of its connection.
    upload::ConnectionAttempt Attempt;

private:
    // Hands the server at Session.ServerIndex to WSocket1 for an attempt
    // that sends this, moving on to the next position when the request
    // itself fails. True when a connect request was made; the connection
    // then owns the attempt.
    bool ConnectToServer(const upload::AttemptSend& send);
    // Keeps the window alive until the monotonic clock has moved on by a second.
    // False when the application is ending meanwhile.
    bool PaceOneSecond();
    // Logs how the current attempt ended and the server's verdict on its
    // login, once per attempt: what became of the attempt, nothing when its
    // end was logged already.
    std::optional<upload::AttemptOutcome> LogSessionEnd(std::uint16_t errCode);
    // Whether the current attempt's outcome is still to be noted; true once.
    bool TakeOutcomeDue();
    // When the alignment matched: each minute's tick comes back to its second.
    rtl::TimePoint alignedAt_{};
    // The minute since the alignment that the schedule counted last (none
    // while it catches up).
    std::optional<long long> countedMinute_;
    // The advice on a weather SSID is in the log already (once a run).
    bool ssidAdviceGiven_ = false;

public:
    // ---- end of upload session ----

    // The settings the packet needs, read from the controls by their rules.
    upload::PacketSettings ReadPacketSettings() const;

    void Show();
    void Hide();

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // Gives the fields without a label of their own their names for screen
    // readers (where the system takes them).
    void NameFields();
    void CreateControls();
    void BindControls();
    // The fonts and the window's icons for a dpi (the old ones are replaced
    // once the controls no longer use them).
    void CreateFonts(UINT dpi);
    void LoadWindowIcons(UINT dpi);
    HFONT FontFor(const ui::ControlLayout& layout) const;
    // Labels sized to their text take its size; at another scale than 96
    // dpi the others grow where their text has become too large.
    void FitToText(const ui::ControlLayout& layout, rtl::TControl& control);
    void FitIntervalGap();
    // WM_DPICHANGED: every control, font and icon at the new dpi, and the
    // window in the rectangle the system suggests.
    void ChangeDpi(UINT dpi, const RECT& suggested);
    template <class T>
    void Bind(T*& member, const char* name);

    HWND handle_ = nullptr;
    UINT dpi_ = rtl::kDesignDpi;  // the dpi the layout is shown at
    HFONT font_ = nullptr;      // the window font
    HFONT boldFont_ = nullptr;  // group-box captions, Label17
    HFONT linkFont_ = nullptr;  // link labels, underlined
    HICON smallIcon_ = nullptr;  // the window's icons at the dpi's sizes
    HICON largeIcon_ = nullptr;
    HBRUSH background_ = nullptr;
    HWND lastFocus_ = nullptr;  // the control that had the focus when the window was deactivated
    std::vector<std::unique_ptr<rtl::TControl>> controls_;
};
