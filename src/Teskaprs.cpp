// Program entry: the application with its title, the main window, the
// message loop; the window is destroyed when the loop ends.
#include <windows.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Teskaprs1.h"
#include "config/AutostartPlace.h"
#include "rtl/Application.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Utf.h"

namespace {

// "teskaprs.exe /autostart-place DATA": the setup asks the program it
// installs where the program that DATA (a Run value's data, the rest of the
// command line as it stands) names lies, and learns it from the exit code.
// Nothing is shown and nothing is changed.
constexpr std::wstring_view kPlaceSwitch = L"/autostart-place";
enum PlaceAnswer { kUnknown = 1, kProgramFiles = 10, kOwnProfile = 11, kElsewhere = 12, kNotTheProgram = 13 };

// The command line after the program's own name and the switch, one blank
// after it skipped; none when the switch does not follow the name.
std::optional<std::wstring> PlaceQuestion() {
    std::wstring_view line = GetCommandLineW();
    const bool quoted = !line.empty() && line.front() == L'"';
    line.remove_prefix(std::min(quoted ? line.find(L'"', 1) + 1 : line.find_first_of(L" \t"), line.size()));
    line.remove_prefix(std::min(line.find_first_not_of(L" \t"), line.size()));
    if (!line.starts_with(kPlaceSwitch)) return std::nullopt;
    line.remove_prefix(kPlaceSwitch.size());
    if (!line.empty() && line.front() != L' ' && line.front() != L'\t') return std::nullopt;
    if (!line.empty()) line.remove_prefix(1);
    return std::wstring(line);
}

int AnswerPlace(const std::wstring& data) {
    try {
        const std::optional<config::AutostartPlace> place = config::PlaceOfNamedProgram(rtl::Narrow(data));
        if (!place) return kNotTheProgram;
        if (*place == config::AutostartPlace::ProgramFiles) return kProgramFiles;
        return *place == config::AutostartPlace::OwnProfile ? kOwnProfile : kElsewhere;
    } catch (...) {
        return kUnknown;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before any dialog or shell call can load a library by name: none is
    // ever taken from the program's folder (a downloads folder, say) or the
    // current one.
    rtl::RestrictDllSearch();
    if (const std::optional<std::wstring> data = PlaceQuestion()) return AnswerPlace(*data);
    rtl::TApplication& application = rtl::Application();
    application.Initialize();
    application.SetTitle("Teskaprs");
    std::unique_ptr<TForm1> form;
    try {
        form = std::make_unique<TForm1>();
    } catch (const std::exception& e) {
        application.HandleException(e);
        return 1;
    }
    application.SetMainForm(form->Handle());
    application.Run();
    application.SetMainForm(nullptr);
    form.reset();
    return 0;
}
