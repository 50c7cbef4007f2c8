#include "rtl/Controls.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "rtl/Application.h"
#include "rtl/Exceptions.h"
#include "rtl/Subclass.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Utf.h"

namespace rtl {

namespace {

const UINT_PTR kSubclassId = 1;
// Width of the arrows inside a spin field.
const int kArrowsWidth = 15;

BeepFunction& BeepSink() {
    static BeepFunction sink;
    return sink;
}

void EnsureCommonControls() {
    static bool done = false;
    if (done) return;
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    done = true;
}

// Draws lines of the given width along the rectangle's edges, top and left
// in one colour, bottom and right in the other, and shrinks the rectangle.
void Frame3D(HDC dc, RECT& rect, COLORREF topLeft, COLORREF bottomRight, int width) {
    HBRUSH top = CreateSolidBrush(topLeft);
    HBRUSH bottom = CreateSolidBrush(bottomRight);
    for (int i = 0; i < width && rect.right > rect.left && rect.bottom > rect.top; ++i) {
        RECT r{rect.left, rect.top, rect.right - 1, rect.top + 1};
        FillRect(dc, &r, top);
        r = RECT{rect.left, rect.top, rect.left + 1, rect.bottom - 1};
        FillRect(dc, &r, top);
        r = RECT{rect.right - 1, rect.top, rect.right, rect.bottom};
        FillRect(dc, &r, bottom);
        r = RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom};
        FillRect(dc, &r, bottom);
        InflateRect(&rect, -1, -1);
    }
    DeleteObject(top);
    DeleteObject(bottom);
}

}  // namespace

// ---------------------------------------------------------------- display scale

namespace {

// The per-monitor functions of Windows 10 (1607 and later), looked up once;
// null on older systems.
template <class F>
F User32Function(const char* name) {
    return BoundFunction<F>(GetModuleHandleW(L"user32.dll"), name);
}

}  // namespace

TBounds ScaleToDpi(const TBounds& b, UINT dpi) {
    return TBounds{ScaleToDpi(b.left, dpi), ScaleToDpi(b.top, dpi), ScaleToDpi(b.width, dpi),
                   ScaleToDpi(b.height, dpi)};
}

UINT DpiOfWindow(HWND hwnd) {
    static const auto forWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (forWindow && hwnd) {
        if (const UINT dpi = forWindow(hwnd)) return dpi;
    }
    return SystemDpi();
}

UINT SystemDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

int SystemMetricForDpi(int index, UINT dpi) {
    static const auto forDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto forDpi =
        User32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    if (!forDpi || !forDpi(&rect, style, FALSE, exStyle, dpi)) AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

void SetBeepFunction(BeepFunction beep) { BeepSink() = std::move(beep); }

void Beep() {
    if (BeepSink())
        BeepSink()();
    else
        MessageBeep(MB_OK);
}

char DecimalSeparator() {
    // A separator outside ASCII (none is known) is no character of a field.
    wchar_t buffer[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 1 && buffer[0] < 0x80)
        return static_cast<char>(buffer[0]);
    return '.';
}

// ---------------------------------------------------------------- TControl

TControl::TControl(std::string name, COLORREF color) : name_(std::move(name)), color_(color) {}

TControl::~TControl() {
    if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
    if (brush_) DeleteObject(brush_);
}

void TControl::CreateHandle(DWORD exStyle, const wchar_t* className, const std::string& text, DWORD style,
                            HWND parent, int id, const TBounds& bounds) {
    EnsureCommonControls();
    handle_ = CreateWindowExW(exStyle, className, Wide(text).c_str(), style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                              bounds.left, bounds.top, bounds.width, bounds.height, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!handle_) throw Exception("Cannot create the control " + name_);
    // One subclass for every control: it routes the messages that a control
    // class handles itself, finds the control of a window, and forgets the
    // window when it is destroyed.
    if (!SetSubclass(handle_, &TControl::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        DestroyWindow(handle_);
        handle_ = nullptr;
        throw Exception("Cannot create the control " + name_);
    }
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
    auto* control = reinterpret_cast<TControl*>(data);
    if (msg == WM_NCDESTROY) {
        control->handle_ = nullptr;
        RemoveSubclass(hwnd, &TControl::SubclassProc, id);
        return DefSubclass(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    bool handled = false;
    Dispatch([&] { handled = control->HandleMessage(msg, wp, lp, result); });
    return handled ? result : DefSubclass(hwnd, msg, wp, lp);
}

bool TControl::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

std::string TControl::Text() const {
    const int length = GetWindowTextLengthW(handle_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(handle_, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return Narrow(text);
}

void TControl::SetText(const std::string& text) { SetWindowTextW(handle_, Wide(text).c_str()); }

bool TControl::Enabled() const { return IsWindowEnabled(handle_) != FALSE; }

void TControl::SetEnabled(bool enabled) { EnableWindow(handle_, enabled ? TRUE : FALSE); }

bool TControl::Visible() const { return (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool visible) { ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE); }

TBounds TControl::Bounds() const {
    RECT r{};
    GetWindowRect(handle_, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(handle_), reinterpret_cast<POINT*>(&r), 2);
    return TBounds{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TControl::SetBounds(const TBounds& b) {
    SetWindowPos(handle_, nullptr, b.left, b.top, b.width, b.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetFont(HFONT font) {
    font_ = font;
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void TControl::SetColor(COLORREF color) {
    if (color == color_ && brush_) return;
    color_ = color;
    if (brush_) DeleteObject(brush_);
    brush_ = nullptr;
    Invalidate();
}

void TControl::SetFontColor(COLORREF color) {
    fontColor_ = color;
    Invalidate();
}

void TControl::Invalidate() const {
    if (handle_) RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

bool TControl::HandleSelfPaint(UINT msg, WPARAM wp, LRESULT& result, const std::function<void(HDC)>& paint) const {
    switch (msg) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(handle_, &ps);
        paint(dc);
        EndPaint(handle_, &ps);
        result = 0;
        return true;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wp));
        result = 0;
        return true;
    default:
        return false;
    }
}

void TControl::FireClick() {
    if (!OnClick) return;
    Event handler = OnClick;  // the handler may replace itself
    Dispatch([&] { handler(this); });
}

TControl* TControl::FromHandle(HWND hwnd) {
    for (HWND h = hwnd; h; h = GetParent(h)) {
        DWORD_PTR control = 0;
        if (GetSubclass(h, &TControl::SubclassProc, kSubclassId, &control)) return reinterpret_cast<TControl*>(control);
        if (!(GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) && h != hwnd) break;
    }
    return nullptr;
}

bool TControl::HandleCommand(WORD) { return false; }

bool TControl::HandleNotify(NMHDR&, LRESULT&) { return false; }

HBRUSH TControl::HandleCtlColor(HDC dc) {
    if (!brush_) brush_ = CreateSolidBrush(color_);
    SetTextColor(dc, fontColor_);
    SetBkColor(dc, color_);
    return brush_;
}

bool ReflectToControl(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_COMMAND: {
        if (!lp) return false;  // menus and accelerators
        TControl* control = TControl::FromHandle(reinterpret_cast<HWND>(lp));
        if (!control || control->Handle() != reinterpret_cast<HWND>(lp)) return false;
        bool handled = false;
        Dispatch([&] { handled = control->HandleCommand(HIWORD(wp)); });
        result = 0;
        return handled;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (!header) return false;
        TControl* control = TControl::FromHandle(header->hwndFrom);
        if (!control) return false;
        bool handled = false;
        Dispatch([&] { handled = control->HandleNotify(*header, result); });
        return handled;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
        TControl* control = TControl::FromHandle(reinterpret_cast<HWND>(lp));
        if (!control) return false;
        HBRUSH brush = nullptr;
        Dispatch([&] { brush = control->HandleCtlColor(reinterpret_cast<HDC>(wp)); });
        if (!brush) return false;
        result = reinterpret_cast<LRESULT>(brush);
        return true;
    }
    default:
        return false;
    }
}

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
               COLORREF color, const Options& options)
    : TControl(std::move(name), color), options_(options) {
    DWORD style = SS_NOPREFIX;
    switch (options.alignment) {
    case Alignment::Center:
        style |= SS_CENTER;
        break;
    case Alignment::Right:
        style |= SS_RIGHT;
        break;
    case Alignment::Left:
        style |= options.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
        break;
    }
    if (options.link) style |= SS_NOTIFY;
    CreateHandle(0, L"STATIC", caption, style, parent, id, bounds);
}

void TLabel::SetText(const std::string& text) {
    TControl::SetText(text);
    if (options_.autoSize) AdjustSize();
}

void TLabel::AdjustSize() {
    const std::wstring caption = Wide(Text());
    // An empty label keeps the size of a blank, so it stays a line high.
    const wchar_t* text = caption.empty() ? L" " : caption.c_str();
    const int length = caption.empty() ? 1 : static_cast<int>(caption.size());
    HDC dc = GetDC(handle_);
    HGDIOBJ old = SelectObject(dc, Font() ? static_cast<HGDIOBJ>(Font()) : GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text, length, &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(handle_, dc);
    int width = r.right - r.left;
    if (options_.maxWidth > 0) width = std::min(width, ScaleToDpi(options_.maxWidth, Dpi()));
    SetWindowPos(handle_, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TLabel::FitText() {
    const std::wstring caption = Wide(Text());
    if (caption.empty()) return;
    HDC dc = GetDC(handle_);
    HGDIOBJ old = SelectObject(dc, Font() ? static_cast<HGDIOBJ>(Font()) : GetStockObject(DEFAULT_GUI_FONT));
    RECT text{0, 0, 0, 0};
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(handle_, dc);
    TBounds b = Bounds();
    const int wider = text.right - b.width, taller = text.bottom - b.height;
    if (wider <= 0 && taller <= 0) return;
    if (wider > 0) {
        if (options_.alignment == Alignment::Center) b.left -= wider / 2;
        if (options_.alignment == Alignment::Right) b.left -= wider;
        b.width += wider;
    }
    if (taller > 0) {
        // Several lines sit at the bottom of their room; one line keeps its top.
        if (options_.wordWrap) b.top -= taller;
        b.height += taller;
    }
    TControl::SetBounds(b);
}

bool TLabel::HandleMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
    if (msg == WM_NCHITTEST && options_.mouseTransparent) {
        result = HTTRANSPARENT;
        return true;
    }
    if (msg == WM_SETCURSOR && options_.link) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
        result = TRUE;
        return true;
    }
    return false;
}

bool TLabel::HandleCommand(WORD code) {
    if (code != STN_CLICKED || !options_.link) return false;
    FireClick();
    return true;
}

// ---------------------------------------------------------------- TEdit

TEdit::TEdit(std::string name, COLORREF color) : TControl(std::move(name), color) {}

TEdit::TEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color, bool upperCase)
    : TControl(std::move(name), color) {
    CreateHandle(WS_EX_CLIENTEDGE, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | (upperCase ? ES_UPPERCASE : 0), parent,
                 id, bounds);
}

void TEdit::SetMaxLength(int length) { SendMessageW(handle_, EM_LIMITTEXT, static_cast<WPARAM>(length), 0); }

// ---------------------------------------------------------------- TButton

TButton::TButton(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
                 COLORREF color, bool multiLine)
    : TControl(std::move(name), color) {
    CreateHandle(0, L"BUTTON", caption,
                 WS_TABSTOP | BS_PUSHBUTTON | (multiLine ? BS_MULTILINE | BS_CENTER | BS_VCENTER : 0), parent, id,
                 bounds);
}

bool TButton::HandleCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    FireClick();
    return true;
}

void TButton::Click() { SendMessageW(handle_, BM_CLICK, 0, 0); }

// ---------------------------------------------------------------- TCheckBox

TCheckBox::TCheckBox(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
                     COLORREF color, bool checked)
    : TControl(std::move(name), color) {
    CreateHandle(0, L"BUTTON", caption, WS_TABSTOP | BS_AUTOCHECKBOX | BS_LEFTTEXT, parent, id, bounds);
    SetChecked(checked);
}

bool TCheckBox::Checked() const { return SendMessageW(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
    SendMessageW(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::HandleCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    FireClick();
    return true;
}

void TCheckBox::Click() { SendMessageW(handle_, BM_CLICK, 0, 0); }

// ---------------------------------------------------------------- TComboBox

TComboBox::TComboBox(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& text,
                     COLORREF color, bool sorted)
    : TControl(std::move(name), color), height_(bounds.height) {
    CreateHandle(0, L"COMBOBOX", "",
                 WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL | (sorted ? CBS_SORT : 0), parent, id,
                 WithList(bounds, Dpi()));
    SetText(text);
    // The height is fitted when the font is set: a fit for the system font
    // would only be undone by the window's font (each fit resizes the list).
}

// The window's height includes the dropped-down list: eight items.
TBounds TComboBox::WithList(TBounds bounds, UINT dpi) {
    bounds.height += ScaleToDpi(8 * 14 + 2, dpi);
    return bounds;
}

void TComboBox::SetFont(HFONT font) {
    TControl::SetFont(font);
    FitHeight();
}

void TComboBox::SetDpi(UINT dpi) {
    if (dpi == Dpi()) return;
    TControl::SetDpi(dpi);
    TBounds bounds = Bounds();
    bounds.height = height_;
    SetBounds(bounds);
}

void TComboBox::SetBounds(const TBounds& bounds) {
    height_ = bounds.height;
    TControl::SetBounds(WithList(bounds, Dpi()));
    FitHeight();
}

// Makes the closed combo box exactly as high as its layout says.
void TComboBox::FitHeight() {
    // The height asked for is corrected by what it gave rather than read
    // back: Wine reports a little more than was asked for.
    LRESULT item = SendMessageW(handle_, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    if (item == CB_ERR) return;
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT r{};
        GetWindowRect(handle_, &r);
        const int difference = height_ - (r.bottom - r.top);
        if (difference == 0 || item + difference < 1) return;
        item += difference;
        SendMessageW(handle_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
    }
}

void TComboBox::Clear() { SendMessageW(handle_, CB_RESETCONTENT, 0, 0); }

void TComboBox::AddItem(const std::string& item) {
    const std::wstring wide = Wide(item);
    SendMessageW(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

int TComboBox::Count() const { return static_cast<int>(SendMessageW(handle_, CB_GETCOUNT, 0, 0)); }

std::string TComboBox::Item(int index) const {
    const LRESULT length = SendMessageW(handle_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(handle_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return Narrow(text);
}

int TComboBox::ItemIndex() const { return static_cast<int>(SendMessageW(handle_, CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int index) {
    // An index outside the list selects nothing (Wine would keep the old
    // selection where Windows clears it).
    const int count = static_cast<int>(SendMessageW(handle_, CB_GETCOUNT, 0, 0));
    if (index < 0 || index >= count) index = -1;
    SendMessageW(handle_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (index < 0) SetText("");
}

// ---------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(HWND parent, int id, std::string name, const TBounds& bounds, const std::string& caption,
                     COLORREF color)
    : TControl(std::move(name), color) {
    CreateHandle(WS_EX_CONTROLPARENT, L"BUTTON", caption, BS_GROUPBOX | WS_CLIPCHILDREN, parent, id, bounds);
}

bool TGroupBox::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_ERASEBKGND: {
        // The system's group box leaves its inside to the parent; this one
        // has children of its own, so it clears what they leave uncovered.
        RECT r{};
        GetClientRect(handle_, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, TControl::HandleCtlColor(reinterpret_cast<HDC>(wp)));
        result = 1;
        return true;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        return ReflectToControl(msg, wp, lp, result);
    default:
        return false;
    }
}

// ---------------------------------------------------------------- TPanel

TPanel::TPanel(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color, int bevelWidth)
    : TControl(std::move(name), color), bevelWidth_(bevelWidth) {
    // A static control that paints its own bevels and colour.
    CreateHandle(0, L"STATIC", "", SS_LEFT, parent, id, bounds);
}

bool TPanel::HandleMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    return HandleSelfPaint(msg, wp, result, [this](HDC dc) { Paint(dc); });
}

void TPanel::Paint(HDC dc) const {
    RECT r{};
    GetClientRect(handle_, &r);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF dark = GetSysColor(COLOR_BTNSHADOW);
    const int bevel = ScaleToDpi(bevelWidth_, Dpi());
    Frame3D(dc, r, light, dark, bevel);  // outer bevel, raised
    Frame3D(dc, r, dark, light, bevel);  // inner bevel, lowered
    HBRUSH fill = CreateSolidBrush(Color());
    FillRect(dc, &r, fill);
    DeleteObject(fill);
}

// ---------------------------------------------------------------- spin fields

TCustomSpinEdit::TCustomSpinEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color)
    : TEdit(std::move(name), color) {
    CreateHandle(WS_EX_CLIENTEDGE, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | WS_CLIPCHILDREN, parent, id, bounds);
    arrows_ = CreateWindowExW(0, UPDOWN_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, handle_, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!arrows_) throw Exception("Cannot create the arrows of " + Name());
    // Up is the positive direction; the position itself is never used.
    SendMessageW(arrows_, UDM_SETRANGE32, 0, 100);
    SendMessageW(arrows_, UDM_SETPOS32, 0, 50);
    PlaceArrows();
}

void TCustomSpinEdit::SetDpi(UINT dpi) {
    if (dpi == Dpi()) return;
    TEdit::SetDpi(dpi);
    PlaceArrows();
}

void TCustomSpinEdit::SetFont(HFONT font) {
    TEdit::SetFont(font);
    PlaceArrows();  // a new font resets the field's margins
}

void TCustomSpinEdit::PlaceArrows() {
    // The arrows sit inside the field, at its right; the text stops short of them.
    RECT client{};
    GetClientRect(handle_, &client);
    const int width = ScaleToDpi(kArrowsWidth, Dpi());
    MoveWindow(arrows_, client.right - width, 0, width, client.bottom, TRUE);
    SendMessageW(handle_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELONG(0, width + 1));
}

bool TCustomSpinEdit::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_CHAR: {
        const auto ch = static_cast<unsigned>(wp);
        if (IsPassedOnChar(ch)) {
            result = 0;
            return true;
        }
        if (!IsValidChar(ch)) {
            Beep();
            result = 0;
            return true;
        }
        return false;
    }
    case WM_GETDLGCODE: {
        // Enter would become the window's default action (IDOK) before the
        // field saw it; a field that does not pass it on takes it.
        const auto* key = reinterpret_cast<const MSG*>(lp);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN && !IsPassedOnChar('\r')) {
            result = DefSubclass(handle_, msg, wp, lp) | DLGC_WANTMESSAGE;
            return true;
        }
        return false;
    }
    case WM_KEYDOWN:
        if (wp == VK_UP || wp == VK_DOWN) {
            Step(wp == VK_UP ? 1 : -1);
            result = 0;
            return true;
        }
        return false;
    case WM_NOTIFY: {
        auto* change = reinterpret_cast<NMUPDOWN*>(lp);
        if (!change || change->hdr.hwndFrom != arrows_ || change->hdr.code != static_cast<UINT>(UDN_DELTAPOS))
            return false;
        if (GetFocus() != handle_) SetFocus(handle_);
        if (change->iDelta != 0) Step(change->iDelta > 0 ? 1 : -1);
        result = 1;  // the arrows keep their own position unchanged
        return true;
    }
    case WM_SIZE:
        PlaceArrows();
        return false;
    default:
        return false;
    }
}

bool TCustomSpinEdit::HandleCommand(WORD code) {
    if (code != EN_KILLFOCUS) return false;
    ClampOnExit();
    return true;
}

namespace {
bool IsDigit(unsigned ch) { return ch >= '0' && ch <= '9'; }
}  // namespace

TSpinEdit::TSpinEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color,
                     IntRange range, int increment)
    : TCustomSpinEdit(parent, id, std::move(name), bounds, color), range_(range), increment_(increment) {
    SetValue(range.min);
}

int TSpinEdit::Value() const { return ReadIntegerField(Text(), range_.min); }

void TSpinEdit::SetValue(long long value) { SetText(std::to_string(ClampInteger(value, range_))); }

bool TSpinEdit::IsValidChar(unsigned ch) const {
    return IsDigit(ch) || ch == '+' || ch == '-' || ch == static_cast<unsigned char>(DecimalSeparator()) ||
           (ch < 32 && ch != '\r');
}

void TSpinEdit::Step(int direction) { SetValue(static_cast<long long>(Value()) + direction * increment_); }

void TSpinEdit::ClampOnExit() {
    const int value = Value();
    if (ClampInteger(value, range_) != value) SetValue(value);
}

TFloatSpinEdit::TFloatSpinEdit(HWND parent, int id, std::string name, const TBounds& bounds, COLORREF color)
    : TCustomSpinEdit(parent, id, std::move(name), bounds, color), separator_(DecimalSeparator()) {
    SetValue(0);
    SetMaxLength(3);
}

long double TFloatSpinEdit::Value() const { return ReadDecimalField(Text(), separator_); }

void TFloatSpinEdit::SetValue(long double value) {
    separator_ = DecimalSeparator();
    SetText(FormatSeconds(ClampSeconds(value), separator_));
}

void TFloatSpinEdit::LocaleChanged() {
    const char separator = DecimalSeparator();
    if (separator == separator_) return;
    const std::string text = Text();
    const std::string rewritten = ResetDecimalSeparator(text, separator_, separator);
    separator_ = separator;
    if (rewritten == text) return;
    // The caret stays where it was: the text keeps its length.
    DWORD start = 0, end = 0;
    SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SetText(rewritten);
    SendMessageW(handle_, EM_SETSEL, start, end);
}

bool TFloatSpinEdit::IsPassedOnChar(unsigned ch) const { return ch == '\r' || ch == 27; }

bool TFloatSpinEdit::IsValidChar(unsigned ch) const {
    if (IsDigit(ch) || ch == '+' || ch == '-' || ch < 32) return true;
    const std::string text = Text();
    if (ch == static_cast<unsigned char>(separator_)) return text.find(separator_) == std::string::npos;
    if (ch == 'E' || ch == 'e') return text.find_first_of("Ee") == std::string::npos;
    return false;
}

void TFloatSpinEdit::Step(int direction) { SetValue(Value() + direction * 0.001L); }

void TFloatSpinEdit::ClampOnExit() {
    const long double value = Value();
    if (ClampSeconds(value) != value) SetValue(value);
}

}  // namespace rtl
