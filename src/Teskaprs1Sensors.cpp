// The main window's sensor checks: each reading passes the sensor watch
// before it is composed; a sensor that has stopped changing is logged when
// its warning begins and ends, announced once, and named by the tip and the
// status line between attempts (after a silence warning, which goes first).
#include "Teskaprs1.h"

#include "rtl/Clock.h"
#include "ui/abctray.h"
#include "upload/UploadLog.h"

namespace {
// The tip between attempts.
const char kWaitingHint[] = "Waiting";
}  // namespace

void TForm1::WatchSensors(const upload::ReportLines& lines, upload::WeatherReading& weather) {
    bool announced = false;
    for (const upload::SensorWatch::Change& change :
         Sensors.Take(rtl::Now(), lines.timestamp + "\n" + lines.weather, weather)) {
        if (!change.begins) {
            UploadLog.Write(upload::LogSensorMoves(change.stuck));
            continue;
        }
        UploadLog.Write(upload::LogSensorStuck(change.stuck));
        // One notification for each warning that begins, however many at once.
        if (!announced)
            ShowTrayBalloon(upload::TipText(upload::StuckText(change.stuck, rtl::ToLocal(change.stuck.since),
                                                              rtl::LocalNow(), MeasurementUnits())));
        announced = true;
    }
    // The tip and the status line at rest, or showing the sensor's warning
    // as it was, show it as it is now.
    const std::string shown = sensorShown_;
    sensorShown_ = SensorWarning();
    if (abcTrayIcon1 && (abcTrayIcon1->Hint() == kWaitingHint ||
                         (!shown.empty() && abcTrayIcon1->Hint() == upload::TipText(shown))))
        SetTrayHint(kWaitingHint);
    if (LoginStatus && (LoginStatus->Text().empty() || (!shown.empty() && LoginStatus->Text() == " " + shown + " ")))
        ShowStatusLine("");
}

std::string TForm1::SensorWarning() const {
    const std::vector<upload::StuckSensor> stuck = Sensors.Stuck();
    if (stuck.empty()) return {};
    return upload::StuckText(stuck.front(), rtl::ToLocal(stuck.front().since), rtl::LocalNow(), MeasurementUnits());
}

std::string TForm1::RestingWarning() const { return Silence.Warning() ? Silence.Text() : SensorWarning(); }
