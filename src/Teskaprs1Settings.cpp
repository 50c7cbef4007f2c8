// The main window's settings store: the registry write probe, the restore
// from the registry or the configuration file, "Save Configuration", and the
// last packet delivered. (Being built.)
#include "Teskaprs1.h"

#include "config/EasyRegAdvanced.h"

void TForm1::SetUpSettings() {
    EasyRegAdvanced1 = std::make_unique<config::TEasyRegAdvanced>();
    EasyRegAdvanced1->SetRegBaseKey(config::bkHKEY_LOCAL_MACHINE);
    EasyRegAdvanced1->SetRegString("Software\\Teskaprs");
}

void TForm1::RestoreSettings() {}

void TForm1::Button1Click(rtl::TControl*) {}

std::string TForm1::ReadStoredPacket() { return LastPacket; }

void TForm1::StorePacket(const std::string& packet) { LastPacket = packet; }
