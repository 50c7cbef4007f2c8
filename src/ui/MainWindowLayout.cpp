#include "ui/MainWindowLayout.h"

#include <array>

#include "ui/WebAddresses.h"

namespace ui {

namespace {

using K = ControlKind;

// The credit line at the bottom left, with an em dash.
constexpr char kCreditLine[] = "Teskaprs \xE2\x80\x94 weather to APRS-IS";

constexpr char kStationPageDesign[] = "http://weather.gladstonefamily.net/site/CWXXXX";
static_assert(sizeof kStationPageDesign == sizeof kStationPageBase + 6, "station page base and its design caption");

constexpr std::array kLayout{
    // The group boxes, in their tab order on the window.
    ControlLayout{"GroupBox2", K::GroupBox, "", 6, 4, 539, 161, 0, " Configuration ", kBold},
    ControlLayout{"GroupBox1", K::GroupBox, "", 6, 168, 539, 69, 1, " Tesk data ", kBold},
    ControlLayout{"GroupBox3", K::GroupBox, "", 6, 240, 539, 101, 2, " APRS ", kBold},

    // Configuration: the tab stops in tab order, each field's own label just
    // before it (a screen reader names a field after the label that precedes
    // it), then the other labels. Those come after the fields so that the
    // fields lie above them (`Interval` sits in the gap of `Label5`).
    ControlLayout{"Label8", K::Label, "GroupBox2", 8, 16, 97, 13, -1, "wxreport.txt location:", kNoFlags},
    ControlLayout{"FileLocationDisplay", K::Edit, "GroupBox2", 108, 12, 201, 21, 0, "", kNoFlags},
    ControlLayout{"BrowseButton", K::Button, "GroupBox2", 316, 12, 75, 21, 1, "Browse", kNoFlags},
    ControlLayout{"Interval", K::SpinEdit, "GroupBox2", 456, 12, 45, 22, 2, "", kNoFlags},
    ControlLayout{"Label3", K::Label, "GroupBox2", 8, 44, 39, 13, -1, "Callsign:", kNoFlags},
    ControlLayout{"Callsign", K::UpperCaseEdit, "GroupBox2", 52, 40, 73, 21, 3, "", kNoFlags},
    ControlLayout{"Label4", K::Label, "GroupBox2", 132, 44, 49, 13, -1, "Validation:", kNoFlags},
    ControlLayout{"Validation", K::Edit, "GroupBox2", 188, 40, 45, 21, 4, "", kNoFlags},
    ControlLayout{"Label21", K::Label, "GroupBox2", 244, 44, 80, 13, -1, "Weather Station:", kNoFlags},
    ControlLayout{"ComboBox1", K::SortedComboBox, "GroupBox2", 328, 40, 201, 21, 5, "Select Your Station", kNoFlags},
    ControlLayout{"LatDeg", K::SpinEdit, "GroupBox2", 60, 84, 45, 22, 6, "", kNoFlags},
    ControlLayout{"LatMin", K::SpinEdit, "GroupBox2", 108, 84, 45, 22, 7, "", kNoFlags},
    ControlLayout{"LatSec", K::FloatSpinEdit, "GroupBox2", 156, 84, 69, 21, 8, "", kNoFlags},
    ControlLayout{"LatHem", K::ComboBox, "GroupBox2", 232, 84, 69, 21, 9, "", kNoFlags},
    ControlLayout{"LonDeg", K::SpinEdit, "GroupBox2", 60, 108, 45, 22, 10, "", kNoFlags},
    ControlLayout{"LonMin", K::SpinEdit, "GroupBox2", 108, 108, 45, 22, 11, "", kNoFlags},
    ControlLayout{"LonSec", K::FloatSpinEdit, "GroupBox2", 156, 108, 69, 21, 12, "", kNoFlags},
    ControlLayout{"LonHem", K::ComboBox, "GroupBox2", 232, 108, 69, 21, 13, "", kNoFlags},
    ControlLayout{"Button1", K::MultiLineButton, "GroupBox2", 372, 100, 133, 29, 14, "Save Configuration", kNoFlags},
    ControlLayout{"Minimized", K::CheckBox, "GroupBox2", 376, 64, 125, 17, 15, "Minimize on startup?", kNoFlags},
    ControlLayout{"AutoStart", K::CheckBox, "GroupBox2", 376, 80, 125, 17, 16, "Autostart at PC logon?", kChecked},
    ControlLayout{"Label5", K::Label, "GroupBox2", 400, 16, 130, 13, -1, "Send every                 Mins.", kNoFlags},
    ControlLayout{"Label10", K::Label, "GroupBox2", 60, 68, 229, 13, -1,
                  "Degrees   Minutes    Seconds           Hemisphere", kNoFlags},
    ControlLayout{"Label9", K::Label, "GroupBox2", 8, 88, 41, 13, -1, "Latitude:", kNoFlags},
    ControlLayout{"Label6", K::Label, "GroupBox2", 8, 112, 50, 13, -1, "Longitude:", kNoFlags},
    ControlLayout{"Label17", K::Label, "GroupBox2", 2, 133, 535, 26, -1,
                  "It is essential that you set the positional data accurately as\r\n"
                  "the data is worthless to the APRS network if it is incorrect.",
                  kBold | kCentered | kWordWrap},

    // Tesk data: the status of the last reading.
    ControlLayout{"abcButton1", K::MultiLineButton, "GroupBox1", 436, 16, 93, 29, 0, "Update Now", kNoFlags},
    ControlLayout{"Label1", K::Label, "GroupBox1", 8, 16, 32, 13, -1, "Label1", kAutoSize},
    ControlLayout{"Label2", K::Label, "GroupBox1", 8, 32, 32, 13, -1, "Label2", kAutoSize},
    // The reading in plain words, on a line of its own beneath the two.
    ControlLayout{"ReadingWords", K::Label, "GroupBox1", 8, 48, 521, 13, -1, "", kAutoSize | kWithinWidth},

    // APRS: the server, the lamp, the last packet and the links.
    ControlLayout{"AutoServer", K::CheckBox, "GroupBox3", 360, 16, 73, 17, 0, "Automatic?", kChecked},
    ControlLayout{"Label22", K::Label, "GroupBox3", 8, 16, 66, 13, -1, "Trying Server:", kAutoSize},
    ControlLayout{"serverNameEdit", K::Edit, "GroupBox3", 88, 12, 177, 21, 1, "", kRedText},
    ControlLayout{"Label18", K::Label, "GroupBox3", 280, 16, 25, 13, -1, "Port :", kNoFlags},
    ControlLayout{"ServerPortEdit", K::Edit, "GroupBox3", 312, 12, 37, 21, 2, "", kRedText},
    ControlLayout{"LED", K::Panel, "GroupBox3", 498, 11, 25, 25, 3, "", kNoFlags},
    ControlLayout{"Label11", K::Label, "GroupBox3", 448, 16, 45, 13, -1, "Sending :", kNoFlags},
    ControlLayout{"Label20", K::Label, "GroupBox3", 8, 36, 118, 13, -1, "You can get a Callsign at", kAutoSize},
    ControlLayout{"Label12", K::Label, "GroupBox3", 8, 56, 118, 13, -1, "You can get a Callsign at", kNoFlags},
    ControlLayout{"Label13", K::LinkLabel, "GroupBox3", 132, 56, 235, 13, -1, kSignUpPage, kNoFlags},
    ControlLayout{"Label14", K::Label, "GroupBox3", 8, 76, 132, 13, -1, "You can check your data at", kNoFlags},
    ControlLayout{"Label15", K::LinkLabel, "GroupBox3", 148, 76, 144, 13, -1, kStationPageDesign, kAutoSize},
    // What the server said to the login, when the station owner has to act
    // on it: on the box's frame line beside its caption, shown only then.
    ControlLayout{"LoginStatus", K::Label, "GroupBox3", 56, 0, 440, 13, -1, "", kAutoSize | kWithinWidth | kRedText},

    // Directly on the window, beneath the group boxes.
    // A sliver of a link beneath the configuration box, where "Minutes" is
    // written: the mouse passes through it.
    ControlLayout{"Label19", K::LinkLabel, "", 148, 76, 3, 13, -1, "", kMouseTransparent},
    ControlLayout{"Label7", K::Label, "", 0, 344, 277, 16, -1, kCreditLine, kNoFlags},
    ControlLayout{"Label23", K::LinkLabel, "", 308, 344, 154, 13, -1, kMakerSite, kNoFlags},
    ControlLayout{"Label16", K::Label, "", 495, 345, 7, 13, -1, "V", kRightAligned},
    ControlLayout{"abcVersionLabel1", K::VersionLabel, "", 504, 332, 45, 29, -1, "", kNoFlags},
};

constexpr std::array kUnlabelledFieldNames{
    ControlName{"Interval", "Upload interval in minutes"},
    ControlName{"LatDeg", "Latitude degrees"},
    ControlName{"LatMin", "Latitude minutes"},
    ControlName{"LatSec", "Latitude seconds"},
    ControlName{"LatHem", "Latitude hemisphere"},
    ControlName{"LonDeg", "Longitude degrees"},
    ControlName{"LonMin", "Longitude minutes"},
    ControlName{"LonSec", "Longitude seconds"},
    ControlName{"LonHem", "Longitude hemisphere"},
};

}  // namespace

std::span<const ControlLayout> MainWindowLayout() { return kLayout; }

std::span<const ControlName> UnlabelledFieldNames() { return kUnlabelledFieldNames; }

}  // namespace ui
