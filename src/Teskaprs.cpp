// Program entry: the application with its title, the main window, the
// message loop; the window is destroyed when the loop ends.
#include <windows.h>

#include <exception>
#include <memory>

#include "Teskaprs1.h"
#include "rtl/Application.h"
#include "rtl/SystemLibrary.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before any dialog or shell call can load a library by name: none is
    // ever taken from the program's folder (a downloads folder, say) or the
    // current one.
    rtl::RestrictDllSearch();
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
