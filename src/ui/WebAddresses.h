// The fixed web addresses shown by the main window's link labels.
#pragma once

namespace ui {

// Sign-up page for citizen-weather callsigns.
inline constexpr char kSignUpPage[] = "http://www.findu.com/citizenweather/signup.html";
// A station's page is this base followed by its callsign.
inline constexpr char kStationPageBase[] = "http://weather.gladstonefamily.net/site/";
// The home page shown as the maker's site.
inline constexpr char kMakerSite[] = "http://www.wxqa.com/";

}  // namespace ui
