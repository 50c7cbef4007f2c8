// The main window's web links and version label.
#include "Teskaprs1.h"

#include "ui/Abcversn.h"
#include "ui/LinkAddress.h"
#include "ui/WebAddresses.h"
#include "ui/pvlUrl.h"

void TForm1::SetUpLinks() {
    pvlUrl1 = std::make_unique<ui::TpvlUrl>();
    pvlUrl1->UrlShowCommand = ui::TUrlShowCmd::ssShowDefault;

    // One line: a tab and the file version. The tab stop lies beyond the
    // label's width, so the version wraps to the second line, level with
    // the "V" beside it.
    abcVersionLabel1->SetDoubleSpaced(false);
    abcVersionLabel1->SetTabStop(10);
    abcVersionLabel1->SetTransparent(true);
    ui::TabcVersionInfoCollection& items = abcVersionLabel1->VersionInfo();
    items.BeginUpdate();
    items.Clear();
    ui::TabcVersionInfoItem& version = items.Add();
    version.SetKey("FileVersion");
    version.SetCaption("");
    version.SetVisible(true);
    items.EndUpdate();
    abcVersionLabel1->Loaded();

    Label13->OnClick = [this](rtl::TControl* sender) { Label13Click(sender); };
    Label15->OnClick = [this](rtl::TControl* sender) { Label15Click(sender); };
    Label19->OnClick = [this](rtl::TControl* sender) { Label15Click(sender); };
    Label23->OnClick = [this](rtl::TControl* sender) { Label23Click(sender); };
}

void TForm1::Label13Click(rtl::TControl*) {
    pvlUrl1->Url = ui::kSignUpPage;
    pvlUrl1->OpenUrl();
}

void TForm1::Label15Click(rtl::TControl*) {
    // The callsign as it stands now, without blanks around it; encoded, so
    // whatever was typed stays part of the one address.
    pvlUrl1->Url = ui::StationPageAddress(Callsign->Text());
    pvlUrl1->OpenUrl();
}

void TForm1::Label23Click(rtl::TControl*) {
    pvlUrl1->Url = ui::kMakerSite;
    pvlUrl1->OpenUrl();
}

void TForm1::SetStationLinkCaption() { Label15->SetText(ui::StationPageCaption(Callsign->Text())); }

std::string TForm1::FileVersion() const { return abcVersionLabel1->GetVersionInfoValue("FileVersion"); }
