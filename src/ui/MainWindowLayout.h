// The main window's layout: every control with its kind, parent, position
// and size in pixels at 96 dpi, tab order, design caption and look. The
// window builds its controls from this table, in this order, and scales
// every position, size and font height to the dpi it is shown at.
#pragma once

#include <span>

namespace ui {

inline constexpr char kWindowCaption[] = "Teskaprs";
inline constexpr int kClientWidth = 551;
inline constexpr int kClientHeight = 359;

// Colours as RGB triples.
struct Rgb {
    unsigned char r, g, b;
};
inline constexpr Rgb kWindowColor{212, 208, 200};
inline constexpr Rgb kInputColor{253, 254, 199};     // pale yellow
inline constexpr Rgb kDisabledServerColor{192, 192, 192};  // silver
inline constexpr Rgb kLampIdleColor{128, 128, 128};   // grey
inline constexpr Rgb kLampSendingColor{0, 255, 0};    // green
inline constexpr Rgb kLinkColor{0, 0, 255};
inline constexpr Rgb kServerTextColor{255, 0, 0};
inline constexpr Rgb kTextColor{0, 0, 0};

// The window font: "MS Sans Serif", 8 points = 11 pixels at 96 dpi (at
// other dpi scaled as the layout is).
inline constexpr char kFontFace[] = "MS Sans Serif";
inline constexpr int kFontHeight = 11;

enum class ControlKind {
    GroupBox,
    Label,
    LinkLabel,
    Edit,
    UpperCaseEdit,
    Button,           // caption on one line
    MultiLineButton,  // caption centred both ways, may wrap
    CheckBox,         // caption left of the box
    ComboBox,         // drop-down list with edit box
    SortedComboBox,
    SpinEdit,       // integer spin field
    FloatSpinEdit,  // decimal spin field (seconds)
    Panel,          // status lamp
    VersionLabel,
};

// Look and behaviour beyond the kind.
enum ControlFlags : unsigned {
    kNoFlags = 0,
    kBold = 1u << 0,
    kCentered = 1u << 1,
    kRightAligned = 1u << 2,
    kWordWrap = 1u << 3,
    kAutoSize = 1u << 4,  // a label sized to its text, whenever the text changes
    kRedText = 1u << 5,
    kChecked = 1u << 6,  // a check box checked at design
    kMouseTransparent = 1u << 7,  // the mouse passes through it: no clicks, no cursor of its own
    kWithinWidth = 1u << 8,       // sized to its text, but never wider than the layout's width
};

struct ControlLayout {
    const char* name;
    ControlKind kind;
    const char* parent;  // "" for the window itself
    int left, top, width, height;
    int tabOrder;  // -1: not a tab stop
    const char* caption;
    unsigned flags;
};

// Group boxes first (the parents before their children), each parent's
// tab stops in tab order, a field's own label just before it.
std::span<const ControlLayout> MainWindowLayout();

// The fields that have no label of their own, with the names a screen
// reader announces them by (a labelled field is named by its label).
struct ControlName {
    const char* control;
    const char* name;
};
std::span<const ControlName> UnlabelledFieldNames();

}  // namespace ui
