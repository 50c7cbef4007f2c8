// The main window's web links and version label. (Being built.)
#include "Teskaprs1.h"

#include "ui/Abcversn.h"
#include "ui/pvlUrl.h"

void TForm1::SetUpLinks() { pvlUrl1 = std::make_unique<ui::TpvlUrl>(); }

void TForm1::Label13Click(rtl::TControl*) {}
void TForm1::Label15Click(rtl::TControl*) {}
void TForm1::Label23Click(rtl::TControl*) {}
void TForm1::SetStationLinkCaption() {}

std::string TForm1::FileVersion() const { return abcVersionLabel1->GetVersionInfoValue("FileVersion"); }
