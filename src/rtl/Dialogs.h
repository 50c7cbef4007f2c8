// The system's file-open dialog with the settings of a form's dialog
// component. The dialog keeps the last chosen file name, so the next run
// starts from it.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>
#include <vector>

namespace rtl {

class TOpenDialog {
public:
    // Shows the dialog for the prepared record and returns whether the user
    // confirmed a file. The default is GetOpenFileNameW; tests replace it so
    // that no real dialog opens, and see exactly what would be passed.
    using Runner = std::function<bool(OPENFILENAMEW& record)>;

    // Entries "description|pattern", joined by "|".
    std::string Filter;
    // Extension added to a typed name that has none, without the dot.
    std::string DefaultExt;
    // The name the dialog starts with; the chosen full path afterwards.
    std::string FileName;
    std::string InitialDir;
    // Empty: the system's default title.
    std::string Title;
    bool HideReadOnly = false;
    bool EnableSizing = true;

    // Runs the dialog modally, owned by the given window. On confirmation
    // FileName holds the chosen full path and the result is true; on cancel
    // nothing changes.
    bool Execute(HWND owner);

    void SetRunner(Runner runner) { runner_ = std::move(runner); }

    // The flags passed to the dialog.
    DWORD Flags() const;

private:
    Runner runner_;
};

}  // namespace rtl
