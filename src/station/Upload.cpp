#include "station/Upload.h"

namespace station {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// A form's text decoded: "+" is a blank, "%XX" the byte XX; a "%" that
// begins no such pair stays as it is.
std::string Decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
                   HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The fields the reading is made of, and those that name the station; the
// many others a station sends (indoor sensors, batteries, soil...) are not
// kept.
bool IsKnownField(std::string_view name) {
    static constexpr std::string_view known[] = {
        "stationtype", "softwaretype", "model", "dateutc", "tempf", "humidity", "winddir", "windspeedmph",
        "windgustmph", "baromrelin", "baromabsin", "baromin", "absbaromin", "solarradiation", "rainin",
        "hourlyrainin", "dailyrainin", "last24hrainin", "24hourrainin", "weeklyrainin", "monthlyrainin",
        "yearlyrainin", "totalrainin", "eventrainin", "rainratein", "rrain_piezo", "erain_piezo", "hrain_piezo",
        "drain_piezo", "wrain_piezo", "mrain_piezo", "yrain_piezo", "last24hrain_piezo"};
    for (std::string_view k : known)
        if (name == k) return true;
    return false;
}

// A key goes into the settings and is compared with what they hold:
// letters, digits, "-", "_", "." and ":" only (a PASSKEY is 32 hexadecimal
// digits, a MAC six pairs of them between colons, an ID letters and
// digits), at most 64 of them.
bool IsKey(const std::string& key) {
    if (key.empty() || key.size() > 64) return false;
    for (char c : key) {
        const bool alphanumeric = (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z');
        if (!alphanumeric && std::string_view("-_.:").find(c) == std::string_view::npos) return false;
    }
    return true;
}

std::string Trimmed(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// Adds the fields of "name=value&name=value..." to the upload, a later
// value of a name taking the place of the earlier one. A parameter without
// "=" ("rtfreq2.5") names nothing the station measures and is passed over.
void AddFields(std::string_view form, Upload& upload, std::string (&keys)[3]) {
    while (!form.empty()) {
        std::size_t end = form.find('&');
        if (end == std::string_view::npos) end = form.size();
        const std::string_view part = form.substr(0, end);
        form.remove_prefix(std::min(end + 1, form.size()));
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos) continue;
        std::string name = Trimmed(Decoded(part.substr(0, equals)));
        for (char& c : name) c = Lower(c);
        std::string value = Trimmed(Decoded(part.substr(equals + 1)));
        if (name.empty()) continue;
        if (name == "passkey") {
            keys[0] = std::move(value);
        } else if (name == "mac") {
            keys[1] = std::move(value);
        } else if (name == "id") {
            keys[2] = std::move(value);
        } else if (IsKnownField(name)) {
            bool replaced = false;
            for (auto& field : upload.fields)
                if (field.first == name) {
                    field.second = std::move(value);
                    replaced = true;
                }
            if (!replaced) upload.fields.emplace_back(std::move(name), std::move(value));
        }
    }
}

// The part of a target that holds the fields: after "?", or, without one,
// the path's last part before the first "=" and all after it
// ("/data/stationtype=GW1000&tempf=70"), or none at all.
std::string_view FieldsOfTarget(std::string_view target) {
    const std::size_t question = target.find('?');
    if (question != std::string_view::npos) return target.substr(question + 1);
    const std::size_t equals = target.find('=');
    if (equals == std::string_view::npos) return {};
    const std::size_t slash = target.rfind('/', equals);
    return target.substr(slash == std::string_view::npos ? 0 : slash + 1);
}

}  // namespace

const std::string* Upload::Field(std::string_view name) const {
    for (const auto& field : fields)
        if (field.first == name) return &field.second;
    return nullptr;
}

bool ReadUpload(const HttpRequest& request, Upload& upload) {
    upload = Upload{};
    std::string keys[3];  // PASSKEY, MAC (Ambient Weather's consoles), ID
    AddFields(FieldsOfTarget(request.target), upload, keys);
    AddFields(request.body, upload, keys);
    std::size_t which = 0;
    while (which < 2 && keys[which].empty()) ++which;
    upload.form = which == 2 ? Upload::Form::Wunderground : Upload::Form::Gateway;
    if (IsKey(keys[which])) upload.key = std::move(keys[which]);
    return !upload.key.empty();
}

}  // namespace station
