// Thin control classes over the standard Win32 controls: labels, edits,
// buttons, check boxes, combo boxes, group boxes, a bevelled panel and the
// spin fields with their value rules. Every control keeps its text in its
// window text, so WM_GETTEXT reads every caption and field.
//
// A parent window passes the notifications it receives from its children
// (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*) to ReflectToControl, which hands them
// to the control they concern; group boxes do that by themselves, a form
// does it in its window procedure.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "rtl/SpinRules.h"

namespace rtl {

// Position and size in pixels, relative to the parent's client area.
struct TBounds {
    int left = 0, top = 0, width = 0, height = 0;
};

// Display scale. Layouts are designed in pixels at 96 dpi (100 %) and
// scaled to the dpi of the window they are shown in, rounding as MulDiv does.
inline constexpr UINT kDesignDpi = 96;
inline int ScaleToDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), kDesignDpi); }
TBounds ScaleToDpi(const TBounds& bounds, UINT dpi);
// The dpi a window is shown at (GetDpiForWindow where the system has it;
// before Windows 10 the system's one dpi).
UINT DpiOfWindow(HWND hwnd);
// The dpi of the system: what GetSystemMetrics and LoadIcon answer for.
UINT SystemDpi();
// GetSystemMetrics for a dpi (GetSystemMetricsForDpi where the system has
// it; before Windows 10 the system's own metrics, which are those of its one dpi).
int SystemMetricForDpi(int index, UINT dpi);
// The window rectangle around a client rectangle at a dpi.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

// The refusal beep of the input fields. Tests replace it to count beeps; an
// empty function restores MessageBeep.
using BeepFunction = std::function<void()>;
void SetBeepFunction(BeepFunction beep);
void Beep();

// The decimal separator of the user's locale.
char DecimalSeparator();

class TControl {
public:
    using Event = std::function<void(TControl* sender)>;

    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl();

    HWND Handle() const { return handle_; }
    const std::string& Name() const { return name_; }

    std::string Text() const;
    virtual void SetText(const std::string& text);

    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Visible() const;
    void SetVisible(bool visible);
    TBounds Bounds() const;
    virtual void SetBounds(const TBounds& bounds);
    // The dpi the control is shown at: what it draws or sizes by itself
    // (arrows, bevels, the dropped-down list) follows it. Set it before the
    // bounds and the font of that dpi.
    UINT Dpi() const { return dpi_; }
    virtual void SetDpi(UINT dpi) { dpi_ = dpi; }

    HFONT Font() const { return font_; }
    // The font is owned by the caller and must outlive the control's window.
    virtual void SetFont(HFONT font);

    // Background and text colour, used when the control is drawn.
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF color);
    COLORREF FontColor() const { return fontColor_; }
    void SetFontColor(COLORREF color);

    Event OnClick;

    // The control a window belongs to: the window itself, or the nearest
    // parent that is a control (a combo box's edit, a spin field's arrows).
    static TControl* FromHandle(HWND hwnd);

    // Notifications reflected from the parent. Return true when handled.
    virtual bool HandleCommand(WORD code);
    virtual bool HandleNotify(NMHDR& header, LRESULT& result);
    // WM_CTLCOLOR*: prepares the device context and returns the brush.
    virtual HBRUSH HandleCtlColor(HDC dc);

protected:
    TControl(std::string name, COLORREF color);
    // Creates the window and attaches it to this object.
    void CreateHandle(DWORD exStyle, const wchar_t* className, const std::string& text, DWORD style, HWND parent,
                      int id, const TBounds& bounds);
    void Invalidate() const;
    // For a control that draws itself: WM_ERASEBKGND (the painting covers
    // everything), WM_PAINT and WM_PRINTCLIENT go to paint. True when the
    // message was one of these.
    bool HandleSelfPaint(UINT msg, WPARAM wp, LRESULT& result, const std::function<void(HDC)>& paint) const;
    void FireClick();
    // Messages to the control's own window, before its class handles them.
    // Return true (with the result) to consume the message.
    virtual bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    HWND handle_ = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);

    std::string name_;
    HFONT font_ = nullptr;
    COLORREF color_;
    COLORREF fontColor_ = RGB(0, 0, 0);
    HBRUSH brush_ = nullptr;
    UINT dpi_ = kDesignDpi;
};

// Passes a child's notification that a parent window received to the
// control it concerns. Returns true (with the result) when it was handled.
bool ReflectToControl(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

// A text label (STATIC, no "&" prefix processing).
class TLabel : public TControl {
public:
    enum class Alignment { Left, Center, Right };
    struct Options {
        Alignment alignment = Alignment::Left;
        bool wordWrap = false;
        // The label takes the size of its text whenever the text changes.
        bool autoSize = false;
        // Looks and acts as a link: hand cursor, clicks reach OnClick.
        bool link = false;
        // The mouse passes through to what lies beneath: no click, no cursor.
        bool mouseTransparent = false;
        // With autoSize: never wider than this, in pixels at 96 dpi (0: no limit).
        int maxWidth = 0;
    };
    TLabel(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
           COLORREF color, const Options& options);

    void SetText(const std::string& text) override;
    bool IsLink() const { return options_.link; }
    bool HandleCommand(WORD code) override;
    // Fits the label to its text (autoSize labels do this on every change).
    void AdjustSize();
    // Makes the label at least as large as its text: a font at another
    // scale is seldom exactly as much larger as the layout (wider to the
    // right, or to both sides when centred; taller upward when it wraps).
    void FitText();

private:
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    Options options_;
};

// A single-line text field.
class TEdit : public TControl {
public:
    TEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color, bool upperCase = false);
    // The most characters the user can type (0: no limit). Text set by the
    // program is not limited.
    void SetMaxLength(int length);

protected:
    TEdit(std::string name, COLORREF color);
};

// A push button; the multi-line kind centres its caption both ways and wraps it.
class TButton : public TControl {
public:
    TButton(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
            COLORREF color, bool multiLine = false);
    bool HandleCommand(WORD code) override;
    // Clicks the button as the user does.
    void Click();
};

// A check box with its caption to the left of the box.
class TCheckBox : public TControl {
public:
    TCheckBox(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
              COLORREF color, bool checked);
    bool Checked() const;
    void SetChecked(bool checked);
    bool HandleCommand(WORD code) override;
    void Click();
};

// A drop-down list with an edit box.
class TComboBox : public TControl {
public:
    TComboBox(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& text,
              COLORREF color, bool sorted);
    void Clear();
    void AddItem(const std::string& item);
    int Count() const;
    std::string Item(int index) const;
    // The selected index; -1 when nothing is selected.
    int ItemIndex() const;
    // -1 clears the selection and the text.
    void SetItemIndex(int index);
    void SetFont(HFONT font) override;
    // The height is that of the closed box; the dropped-down list adds to it.
    void SetBounds(const TBounds& bounds) override;
    void SetDpi(UINT dpi) override;

private:
    static TBounds WithList(TBounds bounds, UINT dpi);
    void FitHeight();
    int height_;
};

// A group box that holds controls of its own.
class TGroupBox : public TControl {
public:
    TGroupBox(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
              COLORREF color);

private:
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

// A panel filled with its colour, with a raised outer and a lowered inner
// bevel: a static control that paints itself. It takes no focus.
class TPanel : public TControl {
public:
    TPanel(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color, int bevelWidth);
    // At 96 dpi; drawn scaled to the control's dpi.
    int BevelWidth() const { return bevelWidth_; }

private:
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void Paint(HDC dc) const;
    int bevelWidth_;
};

// The common part of the spin fields: an edit with up and down arrows
// inside it. Keys are filtered, the arrows (buttons and keys) step the value
// through SetValue, and leaving the field puts an out-of-range value back
// into the range.
class TCustomSpinEdit : public TEdit {
public:
    HWND ArrowsHandle() const { return arrows_; }
    bool HandleCommand(WORD code) override;
    void SetDpi(UINT dpi) override;
    void SetFont(HFONT font) override;

protected:
    TCustomSpinEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color);
    // Whether a typed character may go into the field; false refuses it
    // with a beep.
    virtual bool IsValidChar(unsigned ch) const = 0;
    // Keys the field does not take and does not refuse (no beep): they are
    // left to the window (Enter and Escape as dialog keys). Enter that is not
    // passed on is kept from the dialog keys, so the field sees it.
    virtual bool IsPassedOnChar(unsigned) const { return false; }
    // One step up (+1) or down (-1).
    virtual void Step(int direction) = 0;
    // Puts the value back into the range when it lies outside.
    virtual void ClampOnExit() = 0;

private:
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // Puts the arrows at the right of the field, as wide as the dpi asks.
    void PlaceArrows();
    HWND arrows_ = nullptr;
};

// Integer spin field.
class TSpinEdit : public TCustomSpinEdit {
public:
    TSpinEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color,
              IntRange range, int increment = 1);
    // The text as an integer; text that is not an integer reads as the
    // minimum. Reading does not clamp.
    int Value() const;
    // Clamps into the range and shows the value.
    void SetValue(long long value);
    IntRange Range() const { return range_; }

protected:
    bool IsValidChar(unsigned ch) const override;
    void Step(int direction) override;
    void ClampOnExit() override;

private:
    IntRange range_;
    int increment_;
};

// Decimal spin field for seconds: 0 to 59.999, step 0.001, three decimals.
// Its text is written with the user's decimal separator; the field keeps the
// separator its text was written with, so a change of the user's locale
// never changes the value it reads as.
class TFloatSpinEdit : public TCustomSpinEdit {
public:
    TFloatSpinEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color);
    // The text as a number; text that is not a number reads as 0.
    long double Value() const;
    // Clamps into 0 .. 59.999 and shows the value with three decimals.
    void SetValue(long double value);
    // The user's decimal separator may have changed (WM_SETTINGCHANGE):
    // the text is rewritten with the new one, keeping its value.
    void LocaleChanged();

protected:
    bool IsValidChar(unsigned ch) const override;
    bool IsPassedOnChar(unsigned ch) const override;
    void Step(int direction) override;
    void ClampOnExit() override;

private:
    // The separator the text is written with.
    char separator_;
};

}  // namespace rtl
