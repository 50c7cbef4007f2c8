#include "ui/Abcversn.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "rtl/Application.h"
#include "rtl/Files.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Utf.h"

namespace ui {

namespace {

const wchar_t kLabelClass[] = L"TabcVersionLabel";
// Used when the version resource has no translation table.
const char kDefaultTranslation[] = "040904E4";

// The label's window class: a plain window that keeps its caption as window
// text (so WM_GETTEXT reads it) and leaves all drawing to the label.
void RegisterLabelClass() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (GetClassInfoW(instance, kLabelClass, &wc)) return;
    wc = WNDCLASSW{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kLabelClass;
    RegisterClassW(&wc);
}

// The names of the flags set in the fixed file information, in the order the
// label shows them.
std::string BuildFlagNames(DWORD flags) {
    static const std::pair<DWORD, const char*> kNames[] = {
        {VS_FF_DEBUG, "Debug"},           {VS_FF_INFOINFERRED, "InfoInferred"},
        {VS_FF_PATCHED, "Patched"},       {VS_FF_PRERELEASE, "Pre-Release"},
        {VS_FF_PRIVATEBUILD, "Private"},  {VS_FF_SPECIALBUILD, "Special"},
    };
    std::string names;
    for (const auto& [flag, name] : kNames) {
        if (!(flags & flag)) continue;
        if (!names.empty()) names += ", ";
        names += name;
    }
    return names;
}

// Where a tab's stop leaves no room on the line for the word after it, the
// line is broken at that tab: the word starts the next line. That is how the
// system's word break treats a tab on Windows; Wine's draws the word past the
// right edge instead, where it is clipped away, so the break is made here
// before drawing (on Windows the picture stays the same).
std::wstring BreakLinesAtTabs(HDC dc, const std::wstring& text, int width, int tabWidth) {
    if (tabWidth <= 0) return text;
    auto extent = [dc, &text](size_t from, size_t to) {
        SIZE size{};
        if (to > from) GetTextExtentPoint32W(dc, text.data() + from, static_cast<int>(to - from), &size);
        return static_cast<int>(size.cx);
    };
    auto endsWord = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    std::wstring out;
    out.reserve(text.size() + 8);
    int x = 0;           // how far the current line has got
    size_t segment = 0;  // start of the text since the last tab or line end
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            x = 0;
            segment = i + 1;
            out += c;
            continue;
        }
        if (c != L'\t') {
            out += c;
            continue;
        }
        x += extent(segment, i);
        segment = i + 1;
        const int stop = (x / tabWidth + 1) * tabWidth;
        size_t wordEnd = i + 1;
        while (wordEnd < text.size() && !endsWord(text[wordEnd])) ++wordEnd;
        const int word = extent(i + 1, wordEnd);
        if (word > 0 && stop + word > width) {
            out += L"\r\n";
            x = 0;
        } else {
            out += c;
            x = stop;
        }
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------- reading

// The version functions of the system's VERSION.dll, bound at run time from
// the system folder only: a file of that name beside the program (in a
// downloads folder, say) is never loaded in its place. The library stays
// loaded for the rest of the run. All null when it cannot be loaded.
struct VersionFunctions {
    decltype(&GetFileVersionInfoSizeW) getSize = nullptr;
    decltype(&GetFileVersionInfoW) getInfo = nullptr;
    decltype(&VerQueryValueW) query = nullptr;
};

const VersionFunctions& Version() {
    static const VersionFunctions functions = [] {
        VersionFunctions f;
        HMODULE module = rtl::LoadSystemLibrary("version.dll");
        if (!module) return f;
        f.getSize = rtl::BoundFunction<decltype(f.getSize)>(module, "GetFileVersionInfoSizeW");
        f.getInfo = rtl::BoundFunction<decltype(f.getInfo)>(module, "GetFileVersionInfoW");
        f.query = rtl::BoundFunction<decltype(f.query)>(module, "VerQueryValueW");
        if (!f.getSize || !f.getInfo || !f.query) f = VersionFunctions{};
        return f;
    }();
    return functions;
}

std::vector<std::string> ReadVersionValues(const std::string& fileName, const std::vector<std::string>& keys) {
    std::vector<std::string> values(keys.size());
    const VersionFunctions& version = Version();
    if (!version.query) return values;  // no version library: no values
    DWORD ignored = 0;
    const std::wstring file = rtl::Wide(fileName);
    const DWORD size = version.getSize(file.c_str(), &ignored);
    if (size == 0) return values;
    std::vector<char> data(size);
    if (!version.getInfo(file.c_str(), 0, size, data.data())) return values;

    // The first entry of the translation table: language, then code page.
    std::string translation = kDefaultTranslation;
    void* entry = nullptr;
    UINT entryLength = 0;
    if (version.query(data.data(), L"\\VarFileInfo\\Translation", &entry, &entryLength) && entry && entryLength >= 4) {
        WORD pair[2];
        std::memcpy(pair, entry, sizeof pair);
        char text[9];
        std::snprintf(text, sizeof text, "%04X%04X", pair[0], pair[1]);
        translation = text;
    }

    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string& key = keys[i];
        if (key == "BuildFlags") {
            void* fixed = nullptr;
            UINT fixedLength = 0;
            if (version.query(data.data(), L"\\", &fixed, &fixedLength) && fixed &&
                fixedLength >= sizeof(VS_FIXEDFILEINFO)) {
                VS_FIXEDFILEINFO info;
                std::memcpy(&info, fixed, sizeof info);
                values[i] = BuildFlagNames(info.dwFileFlags);
            }
            continue;
        }
        // An empty key would name the string table itself, not a string.
        if (key.empty()) continue;
        const std::wstring path = rtl::Wide("\\StringFileInfo\\" + translation + "\\" + key);
        void* text = nullptr;
        UINT length = 0;  // in characters
        if (!version.query(data.data(), path.c_str(), &text, &length) || !text || length == 0) continue;
        // Up to the terminating zero, and never past what the resource holds.
        const char* begin = static_cast<const char*>(text);
        const char* limit = data.data() + data.size();
        if (begin < data.data() || begin >= limit) continue;
        const size_t room =
            std::min(static_cast<size_t>(length), static_cast<size_t>(limit - begin) / sizeof(wchar_t));
        std::wstring value(room, L'\0');
        std::memcpy(value.data(), begin, room * sizeof(wchar_t));
        values[i] = rtl::Narrow(value.substr(0, value.find(L'\0')));
    }
    return values;
}

// ---------------------------------------------------------------- items

void TabcVersionInfoItem::SetKey(const std::string& key) {
    key_ = key;
    Changed();
}

void TabcVersionInfoItem::SetCaption(const std::string& caption) {
    caption_ = caption;
    Changed();
}

void TabcVersionInfoItem::SetValue(const std::string& value) {
    value_ = value;
    Changed();
}

void TabcVersionInfoItem::SetVisible(bool visible) {
    visible_ = visible;
    Changed();
}

void TabcVersionInfoItem::Assign(const TabcVersionInfoItem& source) {
    caption_ = source.caption_;
    key_ = source.key_;
    value_.clear();
    Changed();
}

void TabcVersionInfoItem::Changed() {
    if (collection_) collection_->Changed();
}

// ---------------------------------------------------------------- collection

TabcVersionInfoItem& TabcVersionInfoCollection::Add() {
    items_.push_back(std::make_unique<TabcVersionInfoItem>(this));
    Changed();
    return *items_.back();
}

void TabcVersionInfoCollection::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("no version item " + std::to_string(index));
    items_.erase(items_.begin() + index);
    Changed();
}

void TabcVersionInfoCollection::Clear() {
    items_.clear();
    Changed();
}

void TabcVersionInfoCollection::Assign(const TabcVersionInfoCollection& source) {
    if (&source == this) return;
    BeginUpdate();
    items_.clear();
    for (const auto& item : source.items_) Add().Assign(*item);
    EndUpdate();
}

void TabcVersionInfoCollection::EndUpdate() {
    if (updating_ > 0 && --updating_ == 0 && pending_) Changed();
}

void TabcVersionInfoCollection::Changed() {
    if (updating_ > 0) {
        pending_ = true;
        return;
    }
    pending_ = false;
    if (label_) label_->UpdateVersionInfo();
}

// ---------------------------------------------------------------- label

TabcVersionLabel::TabcVersionLabel(HWND parent, int id, std::string name, const rtl::TBounds& bounds,
                                   COLORREF color)
    : rtl::TControl(std::move(name), color) {
    RegisterLabelClass();
    CreateHandle(0, kLabelClass, "", 0, parent, id, bounds);
}

void TabcVersionLabel::SetVersionInfo(const TabcVersionInfoCollection& items) { versionInfo_.Assign(items); }

void TabcVersionLabel::SetDoubleSpaced(bool doubleSpaced) {
    if (doubleSpaced == doubleSpaced_) return;
    doubleSpaced_ = doubleSpaced;
    RebuildText();
}

void TabcVersionLabel::SetTabStop(std::uint8_t tabStop) {
    if (tabStop == tabStop_) return;
    tabStop_ = tabStop;
    RebuildText();
    Invalidate();
}

void TabcVersionLabel::SetTransparent(bool transparent) {
    if (transparent == transparent_) return;
    transparent_ = transparent;
    Invalidate();
}

void TabcVersionLabel::Loaded() {
    loaded_ = true;
    UpdateVersionInfo();
}

void TabcVersionLabel::UpdateVersionInfo() {
    // An OnUpdateVersionInfo handler that changes an item does not start
    // another reading inside this one; the text is rebuilt at its end.
    if (!loaded_ || reading_) return;
    struct Reading {
        bool& flag;
        explicit Reading(bool& f) : flag(f) { flag = true; }
        ~Reading() { flag = false; }
    } reading(reading_);
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(versionInfo_.Count()));
    for (int i = 0; i < versionInfo_.Count(); ++i) keys.push_back(versionInfo_.Items(i).Key());
    std::vector<std::string> values = ReadVersionValues(FileName.empty() ? rtl::ProgramPath() : FileName, keys);
    for (int i = 0; i < versionInfo_.Count(); ++i)
        versionInfo_.Items(i).value_ = std::move(values[static_cast<size_t>(i)]);
    if (OnUpdateVersionInfo) {
        Event handler = OnUpdateVersionInfo;
        handler(this);
    }
    RebuildText();
}

std::string TabcVersionLabel::GetVersionInfoValue(const std::string& key) const {
    for (int i = 0; i < versionInfo_.Count(); ++i)
        if (versionInfo_.Items(i).Key() == key) return versionInfo_.Items(i).Value();
    return {};
}

void TabcVersionLabel::RebuildText() {
    const std::string separator = tabStop_ != 0 ? "\t" : "";
    std::string text;
    for (int i = 0; i < versionInfo_.Count(); ++i) {
        const TabcVersionInfoItem& item = versionInfo_.Items(i);
        if (!item.Visible()) continue;
        text += item.Caption() + separator + item.Value() + "\r\n";
        if (doubleSpaced_) text += "\r\n";
    }
    SetText(text);
}

// ---------------------------------------------------------------- drawing

bool TabcVersionLabel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (HandleSelfPaint(msg, wp, result, [this](HDC dc) { Paint(dc); })) return true;
    switch (msg) {
    case WM_SETTEXT:
    case WM_ENABLE:
        result = DefWindowProcW(handle_, msg, wp, lp);
        Invalidate();
        return true;
    case WM_SETFONT:
        // The font itself is kept by the control (Font()).
        if (LOWORD(lp)) Invalidate();
        result = 0;
        return true;
    case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(Font());
        return true;
    case WM_LBUTTONUP:
        FireClick();
        result = 0;
        return true;
    case WM_LBUTTONDBLCLK:
        if (OnDblClick) {
            Event handler = OnDblClick;
            rtl::Dispatch([&] { handler(this); });
        }
        result = 0;
        return true;
    default:
        return false;
    }
}

// The parent's background under the label, so that a transparent label
// shows what lies behind it.
void TabcVersionLabel::PaintParentBackground(HDC dc) const {
    HWND parent = GetParent(handle_);
    if (!parent) return;
    POINT origin{0, 0};
    MapWindowPoints(handle_, parent, &origin, 1);
    POINT old{};
    OffsetWindowOrgEx(dc, origin.x, origin.y, &old);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetWindowOrgEx(dc, old.x, old.y, nullptr);
}

void TabcVersionLabel::Paint(HDC dc) {
    RECT client{};
    GetClientRect(handle_, &client);
    if (transparent_) {
        PaintParentBackground(dc);
    } else {
        HBRUSH fill = CreateSolidBrush(Color());
        FillRect(dc, &client, fill);
        DeleteObject(fill);
    }

    std::wstring text = rtl::Wide(Text());
    if (text.empty()) return;
    HGDIOBJ oldFont = SelectObject(dc, Font() ? static_cast<HGDIOBJ>(Font()) : GetStockObject(DEFAULT_GUI_FONT));
    if (tabStop_ != 0) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        text = BreakLinesAtTabs(dc, text, client.right - client.left, tabStop_ * metrics.tmAveCharWidth);
    }
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColor = GetTextColor(dc);

    // The tab length goes in the parameters rather than in the format's
    // high byte, where it would clash with DT_NOPREFIX.
    UINT format = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX;
    DRAWTEXTPARAMS params{};
    params.cbSize = sizeof params;
    if (tabStop_ != 0) {
        format |= DT_EXPANDTABS | DT_TABSTOP;
        params.iTabLength = tabStop_;
    }
    const int length = static_cast<int>(text.size());
    if (Enabled()) {
        SetTextColor(dc, FontColor());
        RECT r = client;
        DrawTextExW(dc, text.data(), length, &r, format, &params);
    } else {
        // Engraved: a highlight one pixel down and right, the shadow in place.
        RECT r = client;
        OffsetRect(&r, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextExW(dc, text.data(), length, &r, format, &params);
        r = client;
        SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
        DrawTextExW(dc, text.data(), length, &r, format, &params);
    }

    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

}  // namespace ui
