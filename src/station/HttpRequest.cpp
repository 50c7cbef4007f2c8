#include "station/HttpRequest.h"

#include <algorithm>

namespace station {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A head may hold printable ASCII, blanks and line ends; anything else
// (binary garbage, another protocol) is no station's request.
bool FitsHead(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u <= 0x7E) || c == '\t' || c == '\r' || c == '\n';
}

// The head's lines, without their line ends (CR LF or LF alone).
std::vector<std::string_view> Lines(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        std::size_t end = head.find('\n');
        if (end == std::string_view::npos) end = head.size();
        std::string_view line = head.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        head.remove_prefix(std::min(end + 1, head.size()));
    }
    return lines;
}

// A Content-Length: digits only, blanks around them already dropped.
bool ReadLength(std::string_view text, std::size_t& length) {
    if (text.empty() || text.size() > 6) return false;
    length = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    return true;
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
    for (const HttpHeader& h : headers)
        if (SameText(h.name, name)) return &h.value;
    return nullptr;
}

RequestReader::State RequestReader::Feed(const char* data, std::size_t length) {
    if (state_ != State::Reading) return state_;
    // What goes beyond the bound is not kept: the request must end before it.
    const std::size_t room = kMaxRequestBytes - buffer_.size();
    const bool overflow = length > room;
    buffer_.append(data, overflow ? room : length);
    state_ = Read();
    if (state_ == State::Reading && overflow) state_ = State::Bad;
    if (state_ == State::Bad) buffer_.clear();
    return state_;
}

RequestReader::State RequestReader::Read() {
    if (headSize_ == 0) {
        // Look for the empty line that ends the head, from where the last
        // look stopped.
        for (std::size_t i = scanned_; i < buffer_.size(); ++i) {
            if (!FitsHead(buffer_[i])) return State::Bad;
            if (buffer_[i] != '\n') continue;
            // The request line is judged as soon as it is whole, so that a
            // line without a version is answered rather than waited out.
            if (request_.method.empty() && !ReadRequestLine(std::string_view(buffer_).substr(0, i)))
                return State::Bad;
            const bool empty = (i >= 1 && buffer_[i - 1] == '\n') ||
                               (i >= 2 && buffer_[i - 1] == '\r' && buffer_[i - 2] == '\n');
            if (empty && i + 1 >= 3) {
                headSize_ = i + 1;
                break;
            }
        }
        if (headSize_ == 0) {
            scanned_ = buffer_.size();
            return State::Reading;
        }
        if (!ReadHead(headSize_) || bodySize_ > kMaxRequestBytes - headSize_) return State::Bad;
    }
    if (buffer_.size() < headSize_ + bodySize_) return State::Reading;
    request_.body = buffer_.substr(headSize_, bodySize_);
    return State::Complete;
}

bool RequestReader::ReadRequestLine(std::string_view line) {
    // Method, target and version, one blank between.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if ((method != "GET" && method != "POST") || target.empty() || (version != "HTTP/1.0" && version != "HTTP/1.1"))
        return false;
    request_.method = method;
    request_.target = target;
    request_.version = version;
    return true;
}

bool RequestReader::ReadHead(std::size_t headEnd) {
    const std::vector<std::string_view> lines = Lines(std::string_view(buffer_).substr(0, headEnd));
    bool lengthSeen = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) break;
        const std::size_t colon = lines[i].find(':');
        // A line without a name and a colon, or one folded onto the line
        // before it, is no header.
        if (colon == std::string_view::npos || colon == 0 || IsBlank(lines[i][0])) return false;
        HttpHeader h{std::string(Trim(lines[i].substr(0, colon))), std::string(Trim(lines[i].substr(colon + 1)))};
        if (h.name.empty() || h.name.size() != colon) return false;
        if (SameText(h.name, "Transfer-Encoding")) return false;
        if (SameText(h.name, "Content-Length")) {
            std::size_t length = 0;
            if (!ReadLength(h.value, length) || (lengthSeen && length != bodySize_)) return false;
            bodySize_ = length;
            lengthSeen = true;
        }
        request_.headers.push_back(std::move(h));
    }
    return true;
}

std::string Answer(int status) {
    const char* reason = "Bad Request";
    std::string body;
    if (status == 200) {
        reason = "OK";
        body = "success";
    } else if (status == 403) {
        reason = "Forbidden";
    } else {
        status = 400;
    }
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace station
