#include "rtl/Accessibility.h"

#include <ole2.h>
#include <oleacc.h>

#include "rtl/Utf.h"

namespace rtl {

namespace {
// The property services and the name property. Their values are written
// here so that the program does not import oleacc.dll (not one of the
// system's known DLLs): COM loads it from the system folder.
constexpr CLSID kAccPropServices{0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kIAccPropServices{0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kPropIdAccName{0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
}  // namespace

int SetAccessibleNames(const std::vector<std::pair<HWND, std::string>>& names) {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIAccPropServices,
                                reinterpret_cast<void**>(&services))) ||
        !services)
        return 0;
    int taken = 0;
    for (const auto& [control, name] : names)
        if (control && SUCCEEDED(services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                          kPropIdAccName, Wide(name).c_str())))
            ++taken;
    services->Release();
    return taken;
}

}  // namespace rtl
