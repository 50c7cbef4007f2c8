// The HTTP requests a weather station sends to the program: read from the
// bytes as they arrive, within a bound, and answered once.
//
// A station's "customized" upload is one request a connection: a request
// line, headers, and for a POST a form body of Content-Length bytes. The
// reader takes exactly that and nothing more, so that whatever else reaches
// the port costs no more than 16 KiB and a few seconds.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace station {

// The most a request (request line, headers and body) may take.
inline constexpr std::size_t kMaxRequestBytes = 16 * 1024;
// A request must have arrived whole this long after its connection opened;
// the connection is closed otherwise.
inline constexpr std::chrono::seconds kRequestDeadline{5};
// The most connections held open at once; one more makes the oldest
// unanswered one give way (idle connections cannot keep the station out).
inline constexpr int kMaxConnections = 4;

struct HttpHeader {
    std::string name;   // as sent
    std::string value;  // blanks around it dropped
};

struct HttpRequest {
    std::string method;   // "GET" or "POST"
    std::string target;   // as sent: "/data/report/", "/weatherstation/updateweatherstation.php?ID=..."
    std::string version;  // "HTTP/1.0" or "HTTP/1.1"
    std::vector<HttpHeader> headers;
    std::string body;     // the Content-Length bytes after the headers

    // The value of the first header of that name (any case), or nullptr.
    const std::string* Header(std::string_view name) const;
};

// Reads one request from the bytes of a connection, fed as they arrive in
// pieces of any size. Lines end in CR LF or LF alone; the headers end at an
// empty line. A request line needs a method (GET or POST), a target and the
// version HTTP/1.0 or HTTP/1.1; a header needs a name and a colon. A body
// is read when Content-Length announces one (blanks around the number are
// allowed); chunked bodies are not taken. Anything else, a control byte in
// the head, or a request longer than kMaxRequestBytes in all, is Bad, and
// known to be so as soon as it is seen. Bytes fed once the request is
// Complete or Bad are not kept (one request a connection), and the state
// does not depend on how the bytes were cut.
class RequestReader {
public:
    enum class State { Reading, Complete, Bad };

    State Feed(const char* data, std::size_t length);
    State Current() const { return state_; }
    // The request, once Complete.
    const HttpRequest& Request() const { return request_; }
    // The bytes held: never more than kMaxRequestBytes.
    std::size_t Buffered() const { return buffer_.size(); }

private:
    State Read();
    bool ReadRequestLine(std::string_view line);
    bool ReadHead(std::size_t headEnd);

    State state_ = State::Reading;
    std::string buffer_;
    std::size_t scanned_ = 0;   // bytes of the head already looked at
    std::size_t headSize_ = 0;  // once the head is read: its size, with the empty line
    std::size_t bodySize_ = 0;  // the announced Content-Length
    HttpRequest request_;
};

// The whole answer to a request, closing the connection: 200 with the body
// "success" (what stations look for), 400 (the request could not be read),
// 403 (refused), each with "Connection: close".
std::string Answer(int status);

}  // namespace station
