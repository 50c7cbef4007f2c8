// Typing into the main window's fields: the spin fields' key filter, the
// arrows, clamping when the field is left, reading rules; the upper-case
// callsign. Keys go through the message loop as the user's keys do.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Teskaprs1.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "rtl/Application.h"
#include "rtl/Controls.h"
#include "upload/Packet.h"

namespace {

using testsupport::WindowText;

class MainWindowInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        rtl::SetBeepFunction([this] { ++beeps; });
        testsupport::ForgetSavedSettings();
        form = std::make_unique<TForm1>();
        rtl::Application().SetMainForm(form->Handle());
    }
    void TearDown() override {
        rtl::Application().SetMainForm(nullptr);
        form.reset();
        rtl::SetBeepFunction(nullptr);
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }

    // A key pressed and released, through the message loop (so the
    // translation into characters and the dialog keys run as for the user).
    void Press(HWND target, UINT vk, bool shift = false) {
        const UINT scan = MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
        BYTE keys[256] = {};
        if (shift) keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
        PostMessageA(target, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scan << 16)));
        PostMessageA(target, WM_KEYUP, vk, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
        rtl::Application().ProcessMessages();
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
    // Characters typed into the field with the focus in it.
    void Type(rtl::TControl* field, const std::string& text) {
        SetFocus(field->Handle());
        for (char ch : text) {
            PostMessageA(field->Handle(), WM_CHAR, static_cast<unsigned char>(ch), 1);
            rtl::Application().ProcessMessages();
        }
    }
    // Replaces the whole text by typing.
    void Retype(rtl::TControl* field, const std::string& text) {
        SetFocus(field->Handle());
        SendMessageA(field->Handle(), EM_SETSEL, 0, -1);
        PostMessageA(field->Handle(), WM_CHAR, VK_BACK, 1);
        rtl::Application().ProcessMessages();
        Type(field, text);
    }
    void Leave(rtl::TControl* field) {
        ASSERT_EQ(GetFocus(), field->Handle());
        SetFocus(form->Validation->Handle());
        ASSERT_EQ(GetFocus(), form->Validation->Handle());
    }

    testsupport::ErrorRecorder errors;
    std::unique_ptr<TForm1> form;
    int beeps = 0;
};

TEST_F(MainWindowInputTest, LowerCaseTypedIntoCallsignIsHeldUpperCase) {
    SetFocus(form->Callsign->Handle());
    for (UINT vk : {'C', 'W', '1', '2', '3', '4', 'X'}) Press(form->Callsign->Handle(), vk);
    EXPECT_EQ(WindowText(form->Callsign->Handle()), "CW1234X");
    Type(form->Callsign, "g4");
    EXPECT_EQ(form->Callsign->Text(), "CW1234XG4");
    EXPECT_EQ(beeps, 0);
}

TEST_F(MainWindowInputTest, ReadingDoesNotClampLeavingTheFieldDoes) {
    Retype(form->LatDeg, "200");
    EXPECT_EQ(form->LatDeg->Value(), 200);
    EXPECT_EQ(form->LatDeg->Text(), "200");
    Leave(form->LatDeg);
    EXPECT_EQ(form->LatDeg->Text(), "180");

    Retype(form->LatMin, "-5");
    EXPECT_EQ(form->LatMin->Value(), -5);
    Leave(form->LatMin);
    EXPECT_EQ(form->LatMin->Text(), "0");

    Retype(form->Interval, "5");
    EXPECT_EQ(form->Interval->Value(), 5);
    Leave(form->Interval);
    EXPECT_EQ(form->Interval->Text(), "10");

    // A value inside the range is left as typed.
    Retype(form->LonDeg, "+7");
    Leave(form->LonDeg);
    EXPECT_EQ(form->LonDeg->Text(), "+7");
    EXPECT_EQ(form->LonDeg->Value(), 7);

    // The decimal field: 75 seconds can be typed, and are 59.999 once left.
    Retype(form->LatSec, "75");
    EXPECT_EQ(form->LatSec->Value(), 75.0L);
    Leave(form->LatSec);
    EXPECT_EQ(form->LatSec->Text(), "59.999");
    EXPECT_EQ(beeps, 0);
}

TEST_F(MainWindowInputTest, TextThatIsNotANumberReadsAsTheMinimum) {
    struct Case {
        rtl::TControl* field;
        const char* text;
        long double value;
    };
    const Case cases[] = {
        {form->Interval, "", 10},   {form->Interval, "-", 10},  {form->Interval, "1.5", 10},
        {form->Interval, "25", 25}, {form->LatDeg, "", 0},      {form->LonMin, "+", 0},
        {form->LatSec, "", 0},      {form->LatSec, "1e", 0},    {form->LatSec, "-", 0},
        {form->LonSec, "1.5", 1.5}, {form->LonSec, "2e1", 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field->Name() + " \"" + c.text + "\"");
        c.field->SetText(c.text);
        if (auto* integer = dynamic_cast<rtl::TSpinEdit*>(c.field))
            EXPECT_EQ(integer->Value(), static_cast<int>(c.value));
        else
            EXPECT_EQ(dynamic_cast<rtl::TFloatSpinEdit*>(c.field)->Value(), c.value);
    }
    // Emptied by the user's keys.
    Retype(form->Interval, "");
    EXPECT_EQ(form->Interval->Text(), "");
    EXPECT_EQ(form->Interval->Value(), 10);
}

TEST_F(MainWindowInputTest, SettingAValueClampsAndShowsIt) {
    form->LatSec->SetValue(75);
    EXPECT_EQ(form->LatSec->Text(), "59.999");
    form->LatSec->SetValue(-1);
    EXPECT_EQ(form->LatSec->Text(), "0.000");
    form->LonSec->SetValue(15.25L);
    EXPECT_EQ(form->LonSec->Text(), "15.250");
    form->LatDeg->SetValue(181);
    EXPECT_EQ(form->LatDeg->Text(), "180");
    form->Interval->SetValue(5);
    EXPECT_EQ(form->Interval->Text(), "10");
    form->Interval->SetValue(1000);
    EXPECT_EQ(form->Interval->Text(), "999");
    form->LatMin->SetValue(60);
    EXPECT_EQ(form->LatMin->Text(), "59");
}

TEST_F(MainWindowInputTest, AListIndexOutsideTheListSelectsNothing) {
    // A stored hemisphere of 7 or -1 leaves no hemisphere selected, as on
    // Windows; an index inside the list selects its entry.
    struct Case {
        int index, expected;
        const char* text;
    };
    for (const Case& c : {Case{1, 1, "Southern"}, Case{7, -1, ""}, Case{0, 0, "Northern"}, Case{2, -1, ""},
                          Case{1, 1, "Southern"}, Case{-2, -1, ""}, Case{-1, -1, ""}}) {
        SCOPED_TRACE(c.index);
        form->LatHem->SetItemIndex(c.index);
        EXPECT_EQ(form->LatHem->ItemIndex(), c.expected);
        EXPECT_EQ(form->LatHem->Text(), c.text);
    }
}

TEST_F(MainWindowInputTest, KeysAreFilteredWithABeep) {
    const char sep = rtl::DecimalSeparator();
    const std::string s(1, sep);
    struct Case {
        rtl::TControl* field;
        std::string typed;
        std::string shown;
        int beeps;
    };
    const Case cases[] = {
        // Integer fields: digits, signs and the separator; no letters, no Enter.
        {form->LatDeg, "a", "", 1},
        {form->LatDeg, "12a3", "123", 1},
        {form->LatDeg, "+-" + s + "9", "+-" + s + "9", 0},
        {form->Interval, "1 2", "12", 1},
        {form->Interval, "\r", "", 1},
        {form->LonMin, "e", "", 1},
        // Decimal fields: one separator, one exponent letter, three characters.
        {form->LatSec, "a", "", 1},
        {form->LatSec, "abc", "", 3},
        {form->LatSec, "1" + s + "5", "1" + s + "5", 0},
        {form->LatSec, "1" + s + s, "1" + s, 1},
        {form->LatSec, "1eE", "1e", 1},
        {form->LonSec, "2E1", "2E1", 0},
        {form->LonSec, "1234", "123", 0},
        {form->LonSec, "-+9", "-+9", 0},
        // Enter and Escape are neither taken nor refused.
        {form->LonSec, "\r\x1b", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field->Name() + " typed \"" + c.typed + "\"");
        Retype(c.field, "");
        beeps = 0;
        Type(c.field, c.typed);
        EXPECT_EQ(WindowText(c.field->Handle()), c.shown);
        EXPECT_EQ(beeps, c.beeps);
    }

    // Control keys pass: backspace removes the last character.
    Retype(form->LatDeg, "45");
    beeps = 0;
    Type(form->LatDeg, "\b");
    EXPECT_EQ(form->LatDeg->Text(), "4");
    EXPECT_EQ(beeps, 0);

    // Keys pressed on the keyboard, through the message loop and its dialog
    // keys: a letter is refused everywhere; Enter is refused by the integer
    // fields, and left to the window by the seconds fields.
    struct Key {
        rtl::TControl* field;
        UINT vk;
        int beeps;
    };
    const Key keys[] = {
        {form->LatSec, 'A', 1},          {form->LatDeg, 'A', 1},
        {form->Interval, VK_RETURN, 1},  {form->LatDeg, VK_RETURN, 1}, {form->LatMin, VK_RETURN, 1},
        {form->LonDeg, VK_RETURN, 1},    {form->LonMin, VK_RETURN, 1},
        {form->LatSec, VK_RETURN, 0},    {form->LonSec, VK_RETURN, 0}, {form->LonSec, VK_ESCAPE, 0},
    };
    for (const Key& k : keys) {
        SCOPED_TRACE(k.field->Name() + " key " + std::to_string(k.vk));
        Retype(k.field, "12");
        beeps = 0;
        Press(k.field->Handle(), k.vk);
        EXPECT_EQ(k.field->Text(), "12");
        EXPECT_EQ(beeps, k.beeps);
        EXPECT_EQ(GetFocus(), k.field->Handle());
    }
}

TEST_F(MainWindowInputTest, ArrowKeysStepAndClamp) {
    struct Case {
        rtl::TControl* field;
        const char* start;
        UINT key;
        int times;
        const char* shown;
    };
    const Case cases[] = {
        {form->LatDeg, "179", VK_UP, 2, "180"},    {form->LatDeg, "1", VK_DOWN, 3, "0"},
        {form->LatDeg, "200", VK_DOWN, 1, "180"},  {form->LatMin, "58", VK_UP, 1, "59"},
        {form->LonMin, "59", VK_UP, 1, "59"},      {form->Interval, "", VK_UP, 1, "11"},
        {form->Interval, "10", VK_DOWN, 1, "10"},  {form->Interval, "998", VK_UP, 5, "999"},
        {form->LatSec, "1.000", VK_UP, 1, "1.001"}, {form->LatSec, "0.000", VK_DOWN, 1, "0.000"},
        {form->LonSec, "59.998", VK_UP, 3, "59.999"}, {form->LonSec, "", VK_UP, 2, "0.002"},
        {form->LonSec, "0.002", VK_DOWN, 1, "0.001"},
    };
    const char sep = rtl::DecimalSeparator();
    for (const Case& c : cases) {
        std::string start = c.start, shown = c.shown;
        for (char& ch : start) if (ch == '.') ch = sep;
        for (char& ch : shown) if (ch == '.') ch = sep;
        SCOPED_TRACE(c.field->Name() + " from \"" + start + "\"");
        c.field->SetText(start);
        SetFocus(c.field->Handle());
        for (int i = 0; i < c.times; ++i) Press(c.field->Handle(), c.key);
        EXPECT_EQ(c.field->Text(), shown);
    }
    EXPECT_EQ(beeps, 0);
}

TEST_F(MainWindowInputTest, ArrowButtonsStepAndClamp) {
    auto click = [&](rtl::TCustomSpinEdit* field, bool up) {
        HWND arrows = field->ArrowsHandle();
        RECT r{};
        GetClientRect(arrows, &r);
        const int y = up ? r.bottom / 4 : r.bottom * 3 / 4;
        SendMessageA(arrows, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right / 2, y));
        SendMessageA(arrows, WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, y));
        rtl::Application().ProcessMessages();
    };
    form->LatDeg->SetText("179");
    click(form->LatDeg, true);
    EXPECT_EQ(form->LatDeg->Text(), "180");
    EXPECT_EQ(GetFocus(), form->LatDeg->Handle()) << "the arrows put the focus into their field";
    click(form->LatDeg, true);
    EXPECT_EQ(form->LatDeg->Text(), "180");
    click(form->LatDeg, false);
    EXPECT_EQ(form->LatDeg->Text(), "179");

    form->LatSec->SetValue(0);
    click(form->LatSec, false);
    EXPECT_EQ(form->LatSec->Value(), 0.0L);
    click(form->LatSec, true);
    EXPECT_EQ(form->LatSec->Text(), std::string("0") + rtl::DecimalSeparator() + "001");
    // The arrows' own position never moves, so they never stop at an end.
    for (int i = 0; i < 60; ++i) click(form->Interval, true);
    EXPECT_EQ(form->Interval->Value(), 70);
}

// The user's decimal separator, changed for real (the locale and its
// registry value, as the Control Panel does) and put back when destroyed,
// whatever happened in between. Changes HKCU: only under Wine.
class UserDecimalSeparator {
public:
    UserDecimalSeparator() {
        char buffer[8] = {};
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer);
        original_ = buffer;
        hadValue_ = testsupport::GetRawValue(HKEY_CURRENT_USER, kInternational, "sDecimal", &type_, &value_);
    }
    ~UserDecimalSeparator() {
        SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, original_.c_str());
        if (hadValue_)
            testsupport::SetRawValue(HKEY_CURRENT_USER, kInternational, "sDecimal", type_, value_.data(),
                                     static_cast<DWORD>(value_.size()));
        else
            RegDeleteKeyValueA(HKEY_CURRENT_USER, kInternational, "sDecimal");
        Announce();
    }
    UserDecimalSeparator(const UserDecimalSeparator&) = delete;
    UserDecimalSeparator& operator=(const UserDecimalSeparator&) = delete;

    // Sets the separator and tells every window, as the Control Panel does.
    static void Set(const char* separator) {
        SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator);
        testsupport::SetText(HKEY_CURRENT_USER, kInternational, "sDecimal", separator);
        Announce();
    }

private:
    static constexpr char kInternational[] = "Control Panel\\International";
    static void Announce() {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"), SMTO_ABORTIFHUNG,
                            2000, &ignored);
    }
    std::string original_;
    bool hadValue_ = false;
    DWORD type_ = 0;
    std::string value_;
};

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST_F(MainWindowInputTest, SecondsKeepTheirValuesWhenTheDecimalSeparatorChanges) {
    ASSERT_TRUE(UnderWine()) << "changes the user's locale: runs only under Wine";
    UserDecimalSeparator restore;
    UserDecimalSeparator::Set(".");
    ASSERT_EQ(rtl::DecimalSeparator(), '.');
    form->LatSec->SetValue(12.5L);
    form->LonSec->SetValue(7.25L);
    Retype(form->LatDeg, "51");
    Retype(form->LonSec, "75");  // typed, the field not yet left

    struct Step {
        const char* separator;
        const char* latSec;
        const char* lonSec;
    };
    for (const Step& step : {Step{",", "12,500", "75"}, Step{".", "12.500", "75"}}) {
        SCOPED_TRACE(std::string("separator ") + step.separator);
        UserDecimalSeparator::Set(step.separator);
        ASSERT_EQ(rtl::DecimalSeparator(), step.separator[0]) << "the locale changed for real";
        EXPECT_EQ(WindowText(form->LatSec->Handle()), step.latSec);
        EXPECT_EQ(form->LonSec->Text(), step.lonSec);
        EXPECT_EQ(form->LatSec->Value(), 12.5L);
        EXPECT_EQ(form->LonSec->Value(), 75.0L);
        const upload::PacketSettings read = form->ReadPacketSettings();
        EXPECT_EQ(upload::LatitudeDigits(read.latDeg, read.latMin, read.latSec), "5100.21");
        EXPECT_EQ(read.lonSec, 75.0L);
    }

    // Under ",", the comma is typed and read; a full stop is refused.
    UserDecimalSeparator::Set(",");
    Retype(form->LonSec, "");
    beeps = 0;
    Type(form->LonSec, "1.,5");
    EXPECT_EQ(form->LonSec->Text(), "1,5");
    EXPECT_EQ(form->LonSec->Value(), 1.5L);
    EXPECT_EQ(beeps, 1);
    // A setting that changes nothing about the separator changes no text.
    UserDecimalSeparator::Set(",");
    EXPECT_EQ(form->LonSec->Text(), "1,5");
    UserDecimalSeparator::Set(".");
    EXPECT_EQ(form->LonSec->Text(), "1.5");
    EXPECT_EQ(form->LonSec->Value(), 1.5L);
}

TEST_F(MainWindowInputTest, TabMovesThroughTheFieldsAndLeavingClamps) {
    Retype(form->LatDeg, "999");
    Press(form->LatDeg->Handle(), VK_TAB);
    EXPECT_EQ(GetFocus(), form->LatMin->Handle());
    EXPECT_EQ(form->LatDeg->Text(), "180");
    Press(form->LatMin->Handle(), VK_TAB, true);
    EXPECT_EQ(GetFocus(), form->LatDeg->Handle());
}

}  // namespace
