// The main window's upload: "Update Now", the stages of an upload, the
// session with the server, the connection watchdog and the schedule.
// (Being built.)
#include "Teskaprs1.h"

#include "net/WSocket.h"

void TForm1::SetUpUpload() {
    WSocket1 = std::make_unique<net::TWSocket>();
    abcButton1->OnClick = [this](rtl::TControl* sender) { abcButton1Click(sender); };
}

void TForm1::abcButton1Click(rtl::TControl*) {
    // The upload session chooses the candidate servers and the one to try
    // here, before the upload.
    DoUpload();
}

void TForm1::DoUpload() {
    // First stage: a fresh reading of the report (nothing while an earlier
    // attempt is under way, or when the report is missing or unreadable).
    const auto lines = upload::TakeReading(Upload, FileLocationDisplay->Text());
    if (!lines) return;

    // Whatever happens from here on, an attempt that is not handed to the
    // connection must not stay marked busy, or no later upload could start.
    // (An attempt the connection takes over stays busy until its session
    // has ended.)
    struct EndAttempt {
        upload::UploadState& state;
        ~EndAttempt() { state.UploadBusy = false; }
    } endAttempt{Upload};

    // Second stage: compose the packet and show the reading and the packet.
    Upload.CurrentPacket = upload::ComposePacket(lines->timestamp, lines->weather, ReadPacketSettings());
    Label1->SetText(lines->timestamp);
    Label2->SetText(lines->weather);
    Label20->SetText(Upload.CurrentPacket);

    // Third stage, with the upload session: compare with the last packet
    // delivered and hand a new one to the connection. Until then the attempt
    // ends here.
}

void TForm1::RearmSchedule() {}
