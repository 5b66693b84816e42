#include "outside/blocker/requestreader.h"

#include "outside/monitor/tls.h"

#include <utility>

namespace lt::blocker
{

HttpRequests::HttpRequests()
    : stream_(true, monitor::HttpStream::Handlers{
                        [this](const monitor::HttpMessage& m) -> size_t {
                            heads_.push_back({Request::Kind::Http, m.host, m.target});
                            return 0; // the body is not kept: only heads are judged
                        },
                        nullptr, nullptr})
{
}

void HttpRequests::feed(const uint8_t* data, size_t length)
{
    stream_.data(data, length);
}

std::vector<Request> HttpRequests::take()
{
    return std::exchange(heads_, {});
}

bool FirstBytes::add(const uint8_t* data, size_t length)
{
    if (ready_)
        return true;
    bytes_.append(reinterpret_cast<const char*>(data), length);
    const auto* all = reinterpret_cast<const uint8_t*>(bytes_.data());
    if (!decided_) {
        const int tls = monitor::looksLikeTls(all, bytes_.size());
        const int http = monitor::looksLikeRequest(all, bytes_.size());
        if (tls == 1) {
            tls_ = true;
        } else if (http == 1) {
            http_ = std::make_unique<HttpRequests>();
        } else if (tls == 0 && http == 0) {
            finish(Request::Kind::Other);
            return true;
        } else {
            return false; // too few bytes to tell
        }
        decided_ = true;
        if (http_) { // the reader starts at the first byte
            data = all;
            length = bytes_.size();
        }
    }
    if (tls_) {
        std::string name;
        switch (monitor::readClientHello(all, bytes_.size(), name)) {
        case monitor::HelloResult::Found:
            finish(Request::Kind::Tls, name);
            return true;
        case monitor::HelloResult::NotTls:
            finish(Request::Kind::Other);
            return true;
        case monitor::HelloResult::NeedMore:
            if (bytes_.size() > monitor::kMaxHelloBytes)
                finish(Request::Kind::Other);
            return ready_;
        }
    }
    http_->feed(data, length);
    std::vector<Request> heads = http_->take();
    if (!heads.empty()) {
        requests_ = std::move(heads);
        ready_ = true;
    } else if (http_->lost()) {
        finish(Request::Kind::Other);
    }
    return ready_;
}

void FirstBytes::giveUp()
{
    if (!ready_)
        finish(Request::Kind::Other);
}

void FirstBytes::finish(Request::Kind kind, std::string host)
{
    requests_ = {Request{kind, std::move(host), {}}};
    http_.reset();
    ready_ = true;
}

std::vector<Request> FirstBytes::takeRequests()
{
    return std::exchange(requests_, {});
}

} // namespace lt::blocker
