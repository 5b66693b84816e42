#pragma once
// What the blocking module reads of a connection before it lets it through: the site the
// client asks for, from the HTTP request's Host and target or the TLS ClientHello's server
// name, read by the monitor's own parsers (outside/monitor/http.h, tls.h). Anything else (no
// HTTP, no TLS, nothing sent in time) is judged by the server's address.
//
// On an HTTP connection the module goes on reading the client's side after the first request:
// every later request on the kept-alive connection is judged too, since it may name another
// path (a black-list entry such as "example.com/games") or even another host.

#include "outside/monitor/http.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lt::blocker
{

struct Request {
    enum class Kind { Http, Tls, Other };
    Kind kind = Kind::Other;
    std::string host;   // Host header or server name; empty when the client named none
    std::string target; // HTTP: the request target
};

// The heads of the requests on the client's side of an HTTP connection, as they come.
class HttpRequests
{
public:
    HttpRequests();
    void feed(const uint8_t* data, size_t length);
    // The requests whose heads were read since the last call.
    std::vector<Request> take();
    // The bytes stopped being HTTP (a protocol switched to, a malformed head): nothing more
    // is read from them.
    bool lost() const { return stream_.lost(); }

private:
    std::vector<Request> heads_;
    monitor::HttpStream stream_;
};

// The first bytes of a connection, until the first request is known.
class FirstBytes
{
public:
    // Appends the bytes; true once the first request is known.
    bool add(const uint8_t* data, size_t length);
    bool ready() const { return ready_; }
    // The client sent nothing more in time, or ended: what is known now (the server's address
    // decides when nothing is).
    void giveUp();

    // Once ready: the requests read so far (one for TLS and others; an HTTP client may have
    // sent several at once), and every byte received, to be sent on.
    std::vector<Request> takeRequests();
    std::string& bytes() { return bytes_; }
    // HTTP: the reader of the later requests, which has read these bytes.
    std::unique_ptr<HttpRequests> takeHttp() { return std::move(http_); }

private:
    void finish(Request::Kind kind, std::string host = {});

    std::string bytes_;
    bool ready_ = false;
    bool decided_ = false; // the protocol is known
    std::vector<Request> requests_;
    std::unique_ptr<HttpRequests> http_;
    bool tls_ = false;
};

} // namespace lt::blocker
