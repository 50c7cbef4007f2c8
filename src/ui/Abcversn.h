// The version label: shows entries of the version resource of the running
// executable, one per line, each as a caption, a tab and the value. Its
// lookup also gives other parts of the program the version string.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/Controls.h"

namespace ui {

class TabcVersionLabel;
class TabcVersionInfoCollection;

// One entry of the label: which version string to read and how to show it.
class TabcVersionInfoItem {
public:
    explicit TabcVersionInfoItem(TabcVersionInfoCollection* collection = nullptr) : collection_(collection) {}
    TabcVersionInfoItem(const TabcVersionInfoItem&) = delete;
    TabcVersionInfoItem& operator=(const TabcVersionInfoItem&) = delete;

    // The name of the version-resource string, or "BuildFlags" for the
    // flags of the fixed file information.
    const std::string& Key() const { return key_; }
    void SetKey(const std::string& key);
    // Shown before the value.
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    // What the version resource holds under Key; filled in when the label
    // reads the version.
    const std::string& Value() const { return value_; }
    void SetValue(const std::string& value);
    // Hidden items are still read and looked up, only not shown.
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    // How the item is named in a list of items: its key.
    const std::string& DisplayName() const { return key_; }
    // Takes the caption and key of another item; the value is read afresh.
    void Assign(const TabcVersionInfoItem& source);

private:
    friend class TabcVersionLabel;
    void Changed();

    TabcVersionInfoCollection* collection_;
    std::string key_;
    std::string caption_;
    std::string value_;
    bool visible_ = true;
};

// The label's items, in order. Every change makes the label read the
// version again (once it has finished loading).
class TabcVersionInfoCollection {
public:
    explicit TabcVersionInfoCollection(TabcVersionLabel* label = nullptr) : label_(label) {}
    TabcVersionInfoCollection(const TabcVersionInfoCollection&) = delete;
    TabcVersionInfoCollection& operator=(const TabcVersionInfoCollection&) = delete;

    TabcVersionLabel* Label() const { return label_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TabcVersionInfoItem& Items(int index) { return *items_.at(static_cast<size_t>(index)); }
    const TabcVersionInfoItem& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }

    // A new item at the end, with the default settings (visible, all empty).
    TabcVersionInfoItem& Add();
    void Delete(int index);
    void Clear();
    // Replaces the items with copies of another collection's items.
    void Assign(const TabcVersionInfoCollection& source);

    // Between these, changes are gathered and the version is read once at
    // the end.
    void BeginUpdate() { ++updating_; }
    void EndUpdate();

private:
    friend class TabcVersionInfoItem;
    void Changed();

    TabcVersionLabel* label_;
    std::vector<std::unique_ptr<TabcVersionInfoItem>> items_;
    int updating_ = 0;
    bool pending_ = false;
};

// A word-wrapping label, not sized to its text, that draws itself: tabs are
// expanded to a stop every TabStop average character widths.
class TabcVersionLabel : public rtl::TControl {
public:
    TabcVersionLabel(HWND parent, int id, std::string name, const rtl::TBounds& bounds, COLORREF color);

    TabcVersionInfoCollection& VersionInfo() { return versionInfo_; }
    const TabcVersionInfoCollection& VersionInfo() const { return versionInfo_; }
    // Copies the items of the given collection.
    void SetVersionInfo(const TabcVersionInfoCollection& items);

    // An empty line after each item.
    bool DoubleSpaced() const { return doubleSpaced_; }
    void SetDoubleSpaced(bool doubleSpaced);
    // Tab stop in average character widths; 0: no tab between caption and value.
    std::uint8_t TabStop() const { return tabStop_; }
    void SetTabStop(std::uint8_t tabStop);
    // Whether the parent shows through instead of the label's colour.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);

    // After each reading of the version, before the text is rebuilt.
    Event OnUpdateVersionInfo;
    Event OnDblClick;

    // The file whose version is read: empty for the running executable,
    // which is all the program itself ever reads.
    std::string FileName;

    // The end of the set-up: from now on the label reads the version, at
    // once and whenever its items change.
    void Loaded();
    bool IsLoaded() const { return loaded_; }
    // Reads every item's value from the version resource, tells
    // OnUpdateVersionInfo and shows the result. Nothing before Loaded.
    void UpdateVersionInfo();

    // The value of the first item whose key is exactly this one (letter case
    // counts); empty text when no item has it.
    std::string GetVersionInfoValue(const std::string& key) const;

private:
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    // The caption from the visible items.
    void RebuildText();
    void Paint(HDC dc);
    void PaintParentBackground(HDC dc) const;

    TabcVersionInfoCollection versionInfo_{this};
    bool doubleSpaced_ = true;
    std::uint8_t tabStop_ = 10;
    bool transparent_ = false;
    bool loaded_ = false;
    bool reading_ = false;
};

// The version-resource values of a file for the given keys, in order:
// strings of its first translation (or of "040904E4" when it has none), and
// "BuildFlags" as the names of the flags set in its fixed file information.
// A file without version information gives empty values.
std::vector<std::string> ReadVersionValues(const std::string& fileName, const std::vector<std::string>& keys);

}  // namespace ui
