// The main window's settings store: the choice of where the settings live,
// the restore from the registry or the configuration file, "Save
// Configuration", and the last packet delivered.
//
// The settings, the last packet and the autostart value live under one root
// for the whole run: HKEY_LOCAL_MACHINE (in its 32-bit view, where earlier
// 32-bit builds kept them) where it can be written, as for an administrator;
// otherwise HKEY_CURRENT_USER, as for a standard user; and where neither can
// be written the run is in file mode.
//
// The autostart value lives under the same root for a program under Program
// Files. A program in the running user's own profile (a per-user install)
// has its value under the user's own root, also in a run with administrator
// rights, so no other user's logon starts a file that one user can replace.
// A program anywhere else (another user's profile, a folder under C:\) may
// be replaced by someone other than its owner: it never starts at logon.
#include "Teskaprs1.h"

#include <optional>
#include <string>
#include <vector>

#include "config/Autostart.h"
#include "config/AutostartPlace.h"
#include "config/ConfigFile.h"
#include "config/ConfigFileIO.h"
#include "config/EasyRegAdvanced.h"
#include "config/StationSettings.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Text.h"
#include "upload/Packet.h"

namespace {

const char kSettingsKey[] = "Software\\Teskaprs";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "Teskaprs";
// Compared with the station list when "WXstation" cannot be read: it names no
// entry, so nothing is selected.
const char kNoStation[] = "xzxzxz";
// The longest path of a report the user can type.
const int kMostPathLength = 260;

// What the status line says where this copy may not start at logon, and
// where an earlier version's value for every user stays.
const char kAutostartNeedsPlace[] = "Autostart needs Teskaprs under Program Files or your own profile";
const char kMachineAutostartStays[] = "Autostart for all users left by an earlier version: see the log";

// Where this copy's autostart value lives; none where someone other than its
// owner could replace the program.
config::AutostartRoot AutostartRootOf(const config::TEasyRegAdvanced& settings, config::AutostartPlace place) {
    return config::AutostartRootFor(place, settings.RegBaseKey() == config::bkHKEY_CURRENT_USER);
}

// A component for the Run key under a root, in a view.
config::TEasyRegAdvanced RunKeyAt(config::TRootKey root, config::TRegView view, bool readOnly = false) {
    config::TEasyRegAdvanced run;
    run.SetRegBaseKey(root);
    run.SetRegView(view);
    run.SetReadOnly(readOnly);
    run.SetRegString(kRunKey);
    return run;
}

// The Run key of this copy's value: the settings' root, or the user's own.
config::TEasyRegAdvanced RunKeyOf(const config::TEasyRegAdvanced& settings, config::AutostartRoot root) {
    if (root == config::AutostartRoot::Machine) return RunKeyAt(settings.RegBaseKey(), settings.RegView());
    return RunKeyAt(config::bkHKEY_CURRENT_USER, config::rvDefault);
}

// The data of the Run value under root (in view) where it starts program;
// none otherwise. With remove, such a value is removed where that is
// allowed, and its data is given only where it stays.
std::optional<std::string> ValueStartingProgram(config::TRootKey root, config::TRegView view,
                                                const std::string& program, bool remove) {
    // Read as it may be read (a key the user may not change included).
    config::TEasyRegAdvanced reader = RunKeyAt(root, view, true);
    std::string data;
    try {
        data = reader.ReadString(kRunValue);
    } catch (const config::ERegistryException&) {
        return std::nullopt;  // not text: starts nothing
    }
    if (!config::RunValueStartsProgram(data, program)) return std::nullopt;
    if (remove && RunKeyAt(root, view).DeleteValue(kRunValue)) return std::nullopt;
    return data;
}

// Whether a Run value of the machine, in either view, starts this program.
bool MachineStartsProgram(const std::string& program) {
    for (const config::TRegView view : {config::rv32Bit, config::rv64Bit})
        if (ValueStartingProgram(config::bkHKEY_LOCAL_MACHINE, view, program, false)) return true;
    return false;
}

// Seconds from the 8-byte value, or else from the older layout: whole
// seconds as an integer with the hundredths in a value of their own.
void RestoreSeconds(config::TEasyRegAdvanced& reg, rtl::TFloatSpinEdit& field, const std::string& name,
                    const std::string& hundredthsName) {
    try {
        field.SetValue(reg.ReadFloat(name));
        return;
    } catch (const config::ERegistryException&) {
    }
    field.SetValue(reg.ReadInteger(name));
    try {
        const int hundredths = reg.ReadInteger(hundredthsName);
        field.SetValue(field.Value() + hundredths / 100.0L);
    } catch (const config::ERegistryException&) {
        // No hundredths: the whole seconds stay.
    }
}

// Every entry equal to the model is selected in turn, so the last one stays
// selected; with none equal the selection stays as it is.
void SelectStation(rtl::TComboBox& list, const std::string& model) {
    for (int i = 0; i < list.Count(); ++i)
        if (list.Item(i) == model) list.SetItemIndex(i);
}

// The settings for the configuration file, read from the controls.
config::ConfigValues ConfigValuesOf(const TForm1& form) {
    config::ConfigValues v;
    v.fileLocation = form.FileLocationDisplay->Text();
    v.latDeg = form.LatDeg->Value();
    v.latMin = form.LatMin->Value();
    v.latSec = form.LatSec->Value();
    v.lonDeg = form.LonDeg->Value();
    v.lonMin = form.LonMin->Value();
    v.lonSec = form.LonSec->Value();
    v.latHem = form.LatHem->ItemIndex();
    v.lonHem = form.LonHem->ItemIndex();
    v.callsign = form.Callsign->Text();
    v.validation = form.Validation->Text();
    v.interval = form.Interval->Value();
    const int model = form.ComboBox1->ItemIndex();
    if (model >= 0) v.model = form.ComboBox1->Item(model);
    v.serverName = form.serverNameEdit->Text();
    v.serverPort = form.ServerPortEdit->Text();
    v.autoServer = form.AutoServer->Checked();
    v.minimized = form.Minimized->Checked();
    v.autoStart = form.AutoStart->Checked();
    v.stationListen = form.StationListen;
    v.stationPort = form.StationPort;
    v.stationHeight = form.StationHeight;
    v.stationKey = form.StationKey;
    return v;
}

// File mode: the settings come from the configuration file. A file that
// cannot be read ends the creation handler before any control is set.
void RestoreFromConfigFile(TForm1& form) {
    const std::string content = config::ReadConfigFile(config::ConfigFilePath());
    std::vector<std::string> entries;
    for (int i = 0; i < form.ComboBox1->Count(); ++i) entries.push_back(form.ComboBox1->Item(i));
    const config::ConfigReading r = config::ParseConfigText(content, entries);

    // In file order; the reading leaves empty every field from the one that
    // did not convert on, and those controls keep their creation values.
    form.FileLocationDisplay->SetText(r.fileLocation);
    if (r.latDeg) form.LatDeg->SetValue(*r.latDeg);
    if (r.latMin) form.LatMin->SetValue(*r.latMin);
    if (r.latSec) form.LatSec->SetValue(*r.latSec);
    if (r.lonDeg) form.LonDeg->SetValue(*r.lonDeg);
    if (r.lonMin) form.LonMin->SetValue(*r.lonMin);
    if (r.lonSec) form.LonSec->SetValue(*r.lonSec);
    if (r.latHem) form.LatHem->SetItemIndex(*r.latHem);
    if (r.lonHem) form.LonHem->SetItemIndex(*r.lonHem);
    if (r.callsign) form.Callsign->SetText(*r.callsign);
    if (r.validation) form.Validation->SetText(settings::RestoredValidation(*r.validation));
    if (r.interval) form.Interval->SetValue(*r.interval);
    if (r.modelIndex) form.ComboBox1->SetItemIndex(*r.modelIndex);
    if (r.serverName) form.serverNameEdit->SetText(*r.serverName);
    if (r.serverPort) form.ServerPortEdit->SetText(*r.serverPort);
    if (r.autoServer) form.AutoServer->SetChecked(*r.autoServer);
    if (r.minimized) form.Minimized->SetChecked(*r.minimized);
    if (r.autoStart) form.AutoStart->SetChecked(*r.autoStart);
    form.StationListen = r.stationListen;
    form.StationPort = r.stationPort;
    form.StationHeight = r.stationHeight;
    form.StationKey = r.stationKey;
}

// The write probe: whether the settings key under the component's root can
// be written. Silent.
bool ProbeWrite(config::TEasyRegAdvanced& reg) {
    reg.SetRegString(kSettingsKey);
    try {
        reg.WriteString("TestWrite", "test");
        return true;
    } catch (const config::ERegistryException&) {
        return false;
    }
}

// Receiving from the station, from the settings key of reg: missing values
// (a key saved by an earlier version) read as off on port 8080, with no
// height and no key pinned.
void RestoreStation(TForm1& form, config::TEasyRegAdvanced& reg) {
    auto text = [&reg](const char* name, const char* missing) {
        try {
            return reg.ValueExists(name) ? reg.ReadString(name) : std::string(missing);
        } catch (const config::ERegistryException&) {
            return std::string(missing);
        }
    };
    try {
        form.StationListen = reg.ValueExists("StationListen") && reg.ReadBool("StationListen");
    } catch (const config::ERegistryException&) {
        form.StationListen = false;
    }
    form.StationPort = text("StationPort", "8080");
    form.StationHeight = text("StationHeight", "");
    form.StationKey = text("StationKey", "");
}

// Restores the saved settings from the settings key of reg, in their order,
// with their fallbacks. Every other failed read ends the restore (and the
// creation handler) with its message.
void RestoreFromRegistry(TForm1& form, config::TEasyRegAdvanced& reg) {
    reg.SetRegString(kSettingsKey);
    try {
        form.Minimized->SetChecked(reg.ReadBool("Minimized"));
    } catch (const config::ERegistryException&) {
        form.Minimized->SetChecked(false);
    }
    form.FileLocationDisplay->SetText(reg.ReadString("FileLocation"));
    form.LatDeg->SetValue(reg.ReadInteger("LatDeg"));
    form.LatMin->SetValue(reg.ReadInteger("LatMin"));
    RestoreSeconds(reg, *form.LatSec, "LatSec", "LatSec2");
    form.LonDeg->SetValue(reg.ReadInteger("LonDeg"));
    form.LonMin->SetValue(reg.ReadInteger("LonMin"));
    RestoreSeconds(reg, *form.LonSec, "LonSec", "LonSec2");
    form.LatHem->SetItemIndex(reg.ReadInteger("LatHem"));
    form.LonHem->SetItemIndex(reg.ReadInteger("LonHem"));
    form.Callsign->SetText(reg.ReadString("CallSign"));
    form.Validation->SetText(settings::RestoredValidation(reg.ReadString("Validation")));
    form.Interval->SetValue(reg.ReadInteger("Interval"));

    std::string station;
    try {
        station = reg.ReadString("WXstation");
    } catch (const config::ERegistryException&) {
        station = kNoStation;
    }
    SelectStation(*form.ComboBox1, station);

    try {
        form.serverNameEdit->SetText(reg.ReadString("ServerName"));
    } catch (const config::ERegistryException&) {
        form.serverNameEdit->SetText("");
    }
    try {
        form.ServerPortEdit->SetText(reg.ReadString("ServerPort"));
    } catch (const config::ERegistryException&) {
        form.ServerPortEdit->SetText("");
    }
    try {
        form.AutoServer->SetChecked(reg.ReadBool("AutoServer"));
    } catch (const config::ERegistryException&) {
        form.AutoServer->SetChecked(true);
    }    RestoreStation(form, reg);
}

}  // namespace

void TForm1::SetUpSettings() {
    // What the user can type is bounded by what each value can be: a path,
    // an APRS-IS callsign (six characters and an SSID), a passcode or -1, a
    // host name, a port, and any integer for the spin fields, which clamp.
    FileLocationDisplay->SetMaxLength(kMostPathLength);
    Callsign->SetMaxLength(9);
    Validation->SetMaxLength(6);
    serverNameEdit->SetMaxLength(253);
    ServerPortEdit->SetMaxLength(5);
    for (rtl::TSpinEdit* field : {Interval, LatDeg, LatMin, LonDeg, LonMin}) field->SetMaxLength(11);
    EasyRegAdvanced1 = std::make_unique<config::TEasyRegAdvanced>();
    EasyRegAdvanced1->SetRegBaseKey(config::bkHKEY_LOCAL_MACHINE);
    EasyRegAdvanced1->SetRegView(config::rv32Bit);
    EasyRegAdvanced1->SetRegString(kSettingsKey);
    Button1->OnClick = [this](rtl::TControl* sender) { Button1Click(sender); };
}

void TForm1::RestoreSettings() {
    config::TEasyRegAdvanced& reg = *EasyRegAdvanced1;

    // Where the settings live is decided once: the machine's settings where
    // they can be written, else the user's own; file mode where neither can.
    reg.SetRegBaseKey(config::bkHKEY_LOCAL_MACHINE);
    reg.SetRegView(config::rv32Bit);
    RegistryMode = ProbeWrite(reg);
    if (!RegistryMode) {
        reg.SetRegBaseKey(config::bkHKEY_CURRENT_USER);
        reg.SetRegView(config::rvDefault);
        RegistryMode = ProbeWrite(reg);
    }
    Button1->SetEnabled(RegistryMode);

    if (!RegistryMode) {
        RestoreFromConfigFile(*this);
        return;
    }

    reg.SetRegString(kSettingsKey);
    if (reg.ValueExists("CallSign")) {
        RestoreFromRegistry(*this, reg);
    } else if (reg.RegBaseKey() == config::bkHKEY_CURRENT_USER) {
        // A user who never saved starts from the settings an administrator
        // left for the machine, read only; a save then writes the user's own.
        config::TEasyRegAdvanced machine;
        machine.SetRegBaseKey(config::bkHKEY_LOCAL_MACHINE);
        machine.SetRegView(config::rv32Bit);
        machine.SetReadOnly(true);
        machine.SetRegString(kSettingsKey);
        if (!machine.ValueExists("CallSign")) return;
        RestoreFromRegistry(*this, machine);
        // Receiving set up by the user (the dialog stores it at once) is the user's.
        if (reg.ValueExists("StationListen")) RestoreStation(*this, reg);
    } else {
        return;  // nothing was ever saved: the controls keep their creation values
    }

    SetStationLinkCaption();

    // Autostart is wanted while this copy's Run value exists, whatever path
    // it names; where this copy may not start at logon, while the user's
    // value still starts it. Where the value is not the machine's, also
    // while one of the machine's starts this very program (it does start it
    // at the user's logon).
    const std::string program = rtl::ProgramPath();
    const config::AutostartRoot root = AutostartRootOf(reg, config::AutostartPlaceOf(program));
    bool wanted = root == config::AutostartRoot::None
                      ? ValueStartingProgram(config::bkHKEY_CURRENT_USER, config::rvDefault, program, false).has_value()
                      : RunKeyOf(reg, root).ValueExists(kRunValue);
    if (root != config::AutostartRoot::Machine) wanted = wanted || MachineStartsProgram(program);
    AutoStart->SetChecked(wanted);
}

void TForm1::Button1Click(rtl::TControl*) {
    config::TEasyRegAdvanced& reg = *EasyRegAdvanced1;

    // A validation number APRS-IS cannot take is never stored (a comma in it
    // would shift every later field of the configuration file, and the
    // registry would keep what the file cannot): the save is refused before
    // anything is written, and the field keeps what was typed.
    if (!upload::IsValidValidation(Validation->Text()))
        throw rtl::Exception("Validation number not valid for APRS-IS: settings not saved");

    // Any write that fails ends the save there, with its message; what was
    // written before it stays.
    reg.SetRegString(kSettingsKey);
    reg.WriteString("FileLocation", FileLocationDisplay->Text());
    reg.WriteInteger("LatDeg", LatDeg->Value());
    reg.WriteInteger("LatMin", LatMin->Value());
    reg.WriteFloat("LatSec", static_cast<double>(LatSec->Value()));
    reg.WriteInteger("LonDeg", LonDeg->Value());
    reg.WriteInteger("LonMin", LonMin->Value());
    reg.WriteFloat("LonSec", static_cast<double>(LonSec->Value()));
    reg.WriteInteger("LatHem", LatHem->ItemIndex());
    reg.WriteInteger("LonHem", LonHem->ItemIndex());
    reg.WriteString("CallSign", Callsign->Text());
    reg.WriteString("Validation", Validation->Text());
    reg.WriteInteger("Interval", Interval->Value());
    // With no model selected an earlier "WXstation" stays.
    const int model = ComboBox1->ItemIndex();
    if (model >= 0) reg.WriteString("WXstation", ComboBox1->Item(model));
    reg.WriteString("ServerName", serverNameEdit->Text());
    reg.WriteString("ServerPort", ServerPortEdit->Text());
    reg.WriteBool("AutoServer", AutoServer->Checked());
    reg.WriteBool("Minimized", Minimized->Checked());
    StoreStationSettings();

    SetStationLinkCaption();

    // The program's Run value. The path is quoted, so that a path with
    // blanks cannot start another program that lies on the way to it.
    const std::string program = rtl::ProgramPath();
    const config::AutostartPlace place = config::AutostartPlaceOf(program);
    const config::AutostartRoot root = AutostartRootOf(reg, place);
    if (root == config::AutostartRoot::None) {
        // A program someone else could replace never starts at logon; the
        // user's value an earlier save left for it goes.
        if (AutoStart->Checked()) ShowStatusLine(kAutostartNeedsPlace);
        AutoStart->SetChecked(false);
        ValueStartingProgram(config::bkHKEY_CURRENT_USER, config::rvDefault, program, true);
    } else {
        config::TEasyRegAdvanced run = RunKeyOf(reg, root);
        if (AutoStart->Checked()) {
            run.WriteString(kRunValue, "\"" + program + "\"");
        } else if (run.ValueExists(kRunValue)) {
            run.DeleteValue(kRunValue);
        }
    }
    // A program outside Program Files started for every user (an earlier
    // version's save with administrator rights): that value goes wherever it
    // may, either way. One that cannot go is named, for an administrator.
    if (place != config::AutostartPlace::ProgramFiles) {
        for (const config::TRegView view : {config::rv32Bit, config::rv64Bit}) {
            const std::optional<std::string> stays =
                ValueStartingProgram(config::bkHKEY_LOCAL_MACHINE, view, program, true);
            if (!stays) continue;
            UploadLog.Write(std::string("autostart for all users left by an earlier version cannot be removed: "
                                        "HKEY_LOCAL_MACHINE\\") +
                            kRunKey + (view == config::rv32Bit ? " (32-bit view)" : "") + " \"" + kRunValue +
                            "\" = " + *stays);
            ShowStatusLine(kMachineAutostartStays);
        }
    }

    // The configuration file beside the program mirrors the save for runs in
    // file mode. A standard user may not write the program's folder (a
    // program installed for all users); their settings are already saved
    // under their own key, so that is no failure of their save.
    try {
        config::WriteConfigFile(config::ConfigFilePath(), config::FormatConfigLine(ConfigValuesOf(*this)));
    } catch (const rtl::EInOutError&) {
        if (reg.RegBaseKey() != config::bkHKEY_CURRENT_USER) throw;
    }

    RearmSchedule();
}

void TForm1::StoreStationSettings() {
    if (!RegistryMode) return;
    config::TEasyRegAdvanced& reg = *EasyRegAdvanced1;
    reg.SetRegString(kSettingsKey);
    reg.WriteBool("StationListen", StationListen);
    reg.WriteString("StationPort", StationPort);
    reg.WriteString("StationHeight", StationHeight);
    reg.WriteString("StationKey", StationKey);
}

std::string TForm1::ReadStoredPacket() {
    if (!RegistryMode) return LastPacket;
    try {
        EasyRegAdvanced1->SetRegString(kSettingsKey);
        return EasyRegAdvanced1->ReadString("APRSpacket");
    } catch (const std::exception&) {
        return "";  // unknown: the packet is sent
    }
}

void TForm1::StorePacket(const std::string& packet) {
    if (!RegistryMode) {
        LastPacket = packet;
        return;
    }
    EasyRegAdvanced1->SetRegString(kSettingsKey);
    EasyRegAdvanced1->WriteString("APRSpacket", packet);
}
