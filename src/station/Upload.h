// A station's upload: the fields of the request, in either of the forms that
// stations send to a server on the local network.
//
// The gateway form ("customized" upload of Ecowitt-type gateways and
// consoles) posts its fields as a form body, or sends them in the query:
// PASSKEY, stationtype, tempf, humidity, winddir, windspeedmph... (Ambient
// Weather's consoles name themselves by MAC instead of PASSKEY.) The
// Wunderground form sends them in the query of
// GET /weatherstation/updateweatherstation.php?ID=...&PASSWORD=...&tempf=...
//
// Real stations write these loosely, and each way is read: "+" and "%20"
// for blanks and "%3A" for colons (any %XX), a parameter without "=", the
// fields appended to the path without a "?" ("/data/stationtype=...&tempf=..."),
// no path at all before them, a body with no line end.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "station/HttpRequest.h"

namespace station {

struct Upload {
    enum class Form { Gateway, Wunderground };
    Form form = Form::Gateway;  // Wunderground when the key is an ID, not a PASSKEY or MAC
    std::string key;            // PASSKEY, MAC (Ambient Weather's form) or the Wunderground form's ID; never logged
    // The fields that make the reading or name the station, by their names
    // in lower case, with their values decoded; a name sent twice holds its
    // last value. Other fields are not kept; nor are the key and password.
    std::vector<std::pair<std::string, std::string>> fields;

    // The value of the field of that name (in lower case), or nullptr.
    const std::string* Field(std::string_view name) const;
};

// The fields of a request: those of the target (after "?", or from the path
// part that holds the first "=") and then those of the body, so a body's
// field wins over the same field in the target. False when the request
// holds no key (none of PASSKEY, MAC and ID), or one that is more than 64
// letters, digits, "-", "_", "." and ":": it is no station's upload.
bool ReadUpload(const HttpRequest& request, Upload& upload);

}  // namespace station
