#pragma once
// HTTP/1.x read from one direction of a reassembled connection: requests (method, target, Host,
// the body of an upload) from the terminal's side, responses (status, type, the start of the
// body where a title may be) from the server's side. Messages follow one another on a kept-
// alive connection; bodies are framed by Content-Length, chunked transfer coding or the end of
// the connection. Only the first bytes of a body are kept (keepBody); the rest is counted.
//
// A stream that stops making sense (a lost packet inside a head, bytes that are no HTTP) is
// given up: it reports lost() and reads nothing more.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace lt::monitor
{

struct HttpMessage {
    // Request: method and target; response: status.
    std::string method;
    std::string target;
    int status = 0;
    std::string host;
    std::string contentType;
    std::string contentEncoding;
    std::string body;       // the first bytes of the body (transfer coding removed)
    uint64_t bodyBytes = 0; // the whole body's length
    bool bodyTruncated = false;
    uint64_t wireBytes = 0; // head and body as they went over the connection
    bool complete = false;  // false: the connection ended or a gap cut the body short
};

// Whether bytes begin like an HTTP request ("GET /", "POST /"…): 1 yes, 0 no, -1 too few bytes.
int looksLikeRequest(const uint8_t* data, size_t length);

class HttpStream
{
public:
    static constexpr size_t kMaxHead = 32 * 1024;

    struct Handlers {
        // A message whose head has been read, before its body: the size of the body to keep.
        std::function<size_t(const HttpMessage&)> keepBody;
        std::function<void(HttpMessage&&)> message;
        // Responses only: whether the next response answers a HEAD request (it has no body).
        std::function<bool()> answersHead;
    };

    HttpStream(bool requests, Handlers handlers);

    void data(const uint8_t* bytes, size_t length);
    void gap(size_t length);
    // The connection ended: a body read until the end is complete; a message cut short is
    // handed over as far as it came.
    void end();
    bool lost() const { return state_ == State::Lost; }
    bool idle() const { return state_ == State::Head && head_.empty(); }

private:
    enum class State { Head, Body, Lost };
    enum class Framing { None, Length, Chunked, UntilClose };
    enum class Chunk { Size, Data, DataEnd, Trailer };

    size_t readHead(const uint8_t* bytes, size_t length);
    bool parseHead();
    size_t readBody(const uint8_t* bytes, size_t length);
    size_t readChunked(const uint8_t* bytes, size_t length);
    void keep(const uint8_t* bytes, size_t length);
    void finishMessage(bool complete);

    bool requests_;
    Handlers handlers_;
    State state_ = State::Head;
    std::string head_;
    HttpMessage message_;
    size_t keepLimit_ = 0;
    Framing framing_ = Framing::None;
    uint64_t remaining_ = 0; // body bytes (Length) or chunk bytes (Chunked) still to come
    Chunk chunk_ = Chunk::Size;
    std::string line_; // a chunk size line or trailer line being read
};

} // namespace lt::monitor
