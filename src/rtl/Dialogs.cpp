#include "rtl/Dialogs.h"

#include <algorithm>

#include "rtl/Exceptions.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Utf.h"

namespace rtl {

namespace {
// Room for a long path chosen in the dialog.
const size_t kFileBufferSize = 32768;

// The dialog's library, and the printing libraries it brings along, is
// loaded when a dialog first opens rather than at every start: the window
// shows sooner and the program stays smaller while it sits in the tray.
BOOL RunOpenFileDialog(OPENFILENAMEW& record) {
    using Function = BOOL(WINAPI*)(LPOPENFILENAMEW);
    static const Function function = []() -> Function {
        return BoundFunction<Function>(LoadSystemLibrary("comdlg32.dll"), "GetOpenFileNameW");
    }();
    if (!function) throw Exception("Cannot open the file dialog");
    return function(&record);
}
}  // namespace

DWORD TOpenDialog::Flags() const {
    // The current folder stays as it was, whatever folder the user looked in.
    DWORD flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (HideReadOnly) flags |= OFN_HIDEREADONLY;
    if (EnableSizing) flags |= OFN_ENABLESIZING;
    return flags;
}

bool TOpenDialog::Execute(HWND owner) {
    // "a|b|c|d" becomes "a\0b\0c\0d\0\0".
    std::wstring filter = Wide(Filter);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.append(2, L'\0');
    const std::wstring initialDir = Wide(InitialDir), title = Wide(Title), defaultExt = Wide(DefaultExt);

    std::vector<wchar_t> file(kFileBufferSize, L'\0');
    const std::wstring name = Wide(FileName);
    name.copy(file.data(), std::min(name.size(), file.size() - 1));

    OPENFILENAMEW record{};
    record.lStructSize = sizeof record;
    record.hwndOwner = owner;
    record.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
    record.nFilterIndex = 1;
    record.lpstrFile = file.data();
    record.nMaxFile = static_cast<DWORD>(file.size());
    record.lpstrInitialDir = InitialDir.empty() ? nullptr : initialDir.c_str();
    record.lpstrTitle = Title.empty() ? nullptr : title.c_str();
    record.lpstrDefExt = DefaultExt.empty() ? nullptr : defaultExt.c_str();
    record.Flags = Flags();

    const bool confirmed = runner_ ? runner_(record) : RunOpenFileDialog(record) != FALSE;
    if (!confirmed) return false;
    file.back() = L'\0';
    FileName = Narrow(file.data());
    return true;
}

}  // namespace rtl
