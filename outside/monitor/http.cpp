#include "outside/monitor/http.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace lt::monitor
{

namespace
{

constexpr std::string_view kMethods[] = {"GET ",     "POST ",  "HEAD ",  "PUT ",    "DELETE ",
                                         "OPTIONS ", "PATCH ", "TRACE ", "CONNECT "};
constexpr size_t kMaxChunkLine = 1024;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool containsNoCase(std::string_view text, std::string_view word)
{
    if (word.size() > text.size())
        return false;
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        if (equalsNoCase(text.substr(i, word.size()), word))
            return true;
    }
    return false;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Decimal digits alone; false for anything else (a forged or damaged length).
bool parseLength(std::string_view s, uint64_t& out)
{
    s = trim(s);
    if (s.empty() || s.size() > 18)
        return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + uint64_t(c - '0');
    }
    out = v;
    return true;
}

bool parseHex(std::string_view s, uint64_t& out)
{
    s = trim(s.substr(0, s.find(';'))); // chunk extensions
    if (s.empty() || s.size() > 15)
        return false;
    uint64_t v = 0;
    for (char c : s) {
        const char l = lower(c);
        if (l >= '0' && l <= '9')
            v = v * 16 + uint64_t(l - '0');
        else if (l >= 'a' && l <= 'f')
            v = v * 16 + uint64_t(l - 'a' + 10);
        else
            return false;
    }
    out = v;
    return true;
}

bool validToken(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c > ' ' && c < 127; });
}

} // namespace

int looksLikeRequest(const uint8_t* data, size_t length)
{
    const std::string_view have(reinterpret_cast<const char*>(data), length);
    bool maybe = false;
    for (std::string_view m : kMethods) {
        if (have.size() >= m.size() && have.substr(0, m.size()) == m)
            return 1;
        if (have.size() < m.size() && m.substr(0, have.size()) == have)
            maybe = true;
    }
    return maybe ? -1 : 0;
}

HttpStream::HttpStream(bool requests, Handlers handlers)
    : requests_(requests), handlers_(std::move(handlers))
{
}

void HttpStream::data(const uint8_t* bytes, size_t length)
{
    while (length > 0 && state_ != State::Lost) {
        const size_t used =
            state_ == State::Head ? readHead(bytes, length) : readBody(bytes, length);
        bytes += used;
        length -= used;
    }
}

size_t HttpStream::readHead(const uint8_t* bytes, size_t length)
{
    // Blank lines between messages are allowed and skipped.
    size_t skipped = 0;
    if (head_.empty()) {
        while (skipped < length && (bytes[skipped] == '\r' || bytes[skipped] == '\n'))
            ++skipped;
        if (skipped == length)
            return length;
    }
    const size_t before = head_.size();
    const size_t searchFrom = before >= 3 ? before - 3 : 0;
    head_.append(reinterpret_cast<const char*>(bytes + skipped), length - skipped);
    size_t end = std::string::npos, endLength = 0;
    for (size_t i = searchFrom; i < head_.size(); ++i) {
        if (head_[i] != '\n')
            continue;
        if (i + 1 < head_.size() && head_[i + 1] == '\n') {
            end = i + 2;
            break;
        }
        if (i + 2 < head_.size() && head_[i + 1] == '\r' && head_[i + 2] == '\n') {
            end = i + 3;
            break;
        }
    }
    if (end == std::string::npos) {
        if (head_.size() > kMaxHead)
            state_ = State::Lost;
        return length;
    }
    endLength = end;
    const size_t used = skipped + (endLength - before);
    head_.resize(endLength);
    if (!parseHead()) {
        state_ = State::Lost;
        return length;
    }
    return used;
}

bool HttpStream::parseHead()
{
    std::string_view text(head_);
    const size_t firstEnd = text.find('\n');
    const std::string_view first = trim(text.substr(0, firstEnd));
    message_ = HttpMessage{};
    message_.wireBytes = head_.size();
    if (requests_) {
        const size_t a = first.find(' ');
        const size_t b = first.rfind(' ');
        if (a == std::string_view::npos || b == a || first.substr(b + 1, 5) != "HTTP/")
            return false;
        message_.method = std::string(first.substr(0, a));
        message_.target = std::string(trim(first.substr(a + 1, b - a - 1)));
        if (!validToken(message_.method) || !validToken(message_.target))
            return false;
    } else {
        if (first.substr(0, 5) != "HTTP/" || first.size() < 12 || first[8] != ' ')
            return false;
        uint64_t status = 0;
        if (!parseLength(first.substr(9, 3), status))
            return false;
        message_.status = int(status);
    }
    bool chunked = false, hasLength = false;
    uint64_t length = 0;
    for (size_t pos = firstEnd + 1; pos < text.size();) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        if (equalsNoCase(name, "host"))
            message_.host = std::string(value);
        else if (equalsNoCase(name, "content-type"))
            message_.contentType = std::string(value);
        else if (equalsNoCase(name, "content-encoding"))
            message_.contentEncoding = std::string(value);
        else if (equalsNoCase(name, "transfer-encoding"))
            chunked = containsNoCase(value, "chunked");
        else if (equalsNoCase(name, "content-length"))
            hasLength = parseLength(value, length);
    }
    head_.clear();
    const int s = message_.status;
    const bool noBody = !requests_ && ((s >= 100 && s < 200) || s == 204 || s == 304 ||
                                       (handlers_.answersHead && handlers_.answersHead()));
    if (noBody)
        framing_ = Framing::None;
    else if (chunked)
        framing_ = Framing::Chunked;
    else if (hasLength)
        framing_ = Framing::Length;
    else
        framing_ = requests_ ? Framing::None : Framing::UntilClose;
    remaining_ = framing_ == Framing::Length ? length : 0;
    chunk_ = Chunk::Size;
    line_.clear();
    // An interim answer (100 Continue) is no answer: the real one follows.
    if (!requests_ && s >= 100 && s < 200 && s != 101)
        return true;
    keepLimit_ = handlers_.keepBody ? handlers_.keepBody(message_) : 0;
    if (framing_ == Framing::None || (framing_ == Framing::Length && remaining_ == 0))
        finishMessage(true);
    else
        state_ = State::Body;
    return true;
}

void HttpStream::keep(const uint8_t* bytes, size_t length)
{
    message_.bodyBytes += length;
    const size_t room = keepLimit_ > message_.body.size() ? keepLimit_ - message_.body.size() : 0;
    if (length > room)
        message_.bodyTruncated = true;
    message_.body.append(reinterpret_cast<const char*>(bytes), std::min(room, length));
}

size_t HttpStream::readBody(const uint8_t* bytes, size_t length)
{
    if (framing_ == Framing::Chunked)
        return readChunked(bytes, length);
    size_t take = length;
    if (framing_ == Framing::Length)
        take = size_t(std::min<uint64_t>(remaining_, length));
    keep(bytes, take);
    message_.wireBytes += take;
    if (framing_ == Framing::Length) {
        remaining_ -= take;
        if (remaining_ == 0)
            finishMessage(true);
    }
    return take;
}

size_t HttpStream::readChunked(const uint8_t* bytes, size_t length)
{
    size_t used = 0;
    while (used < length && state_ == State::Body) {
        if (chunk_ == Chunk::Data) {
            const size_t take = size_t(std::min<uint64_t>(remaining_, length - used));
            keep(bytes + used, take);
            used += take;
            remaining_ -= take;
            if (remaining_ == 0)
                chunk_ = Chunk::DataEnd;
            continue;
        }
        const char c = char(bytes[used++]);
        if (c != '\n') {
            if (line_.size() > kMaxChunkLine) {
                state_ = State::Lost;
                break;
            }
            line_ += c;
            continue;
        }
        const std::string_view line = trim(line_);
        if (chunk_ == Chunk::DataEnd) {
            if (!line.empty())
                state_ = State::Lost;
            chunk_ = Chunk::Size;
        } else if (chunk_ == Chunk::Size) {
            if (!parseHex(line, remaining_)) {
                state_ = State::Lost;
            } else {
                chunk_ = remaining_ == 0 ? Chunk::Trailer : Chunk::Data;
            }
        } else if (line.empty()) { // the end of the trailer
            message_.wireBytes += used;
            line_.clear();
            finishMessage(true);
            return used;
        }
        line_.clear();
    }
    message_.wireBytes += used;
    return used;
}

void HttpStream::finishMessage(bool complete)
{
    message_.complete = complete;
    state_ = State::Head;
    if (handlers_.message)
        handlers_.message(std::move(message_));
    message_ = HttpMessage{};
}

void HttpStream::gap(size_t length)
{
    if (state_ == State::Body && framing_ == Framing::UntilClose) {
        message_.bodyBytes += length;
        message_.wireBytes += length;
        message_.bodyTruncated = true;
        return;
    }
    const bool inData =
        framing_ == Framing::Length || (framing_ == Framing::Chunked && chunk_ == Chunk::Data);
    if (state_ == State::Body && inData && length <= remaining_) {
        message_.bodyBytes += length;
        message_.wireBytes += length;
        message_.bodyTruncated = true;
        remaining_ -= length;
        if (remaining_ == 0) {
            if (framing_ == Framing::Length)
                finishMessage(true);
            else
                chunk_ = Chunk::DataEnd;
        }
        return;
    }
    if (state_ == State::Body) {
        message_.bodyTruncated = true;
        finishMessage(false);
    }
    state_ = State::Lost;
}

void HttpStream::end()
{
    if (state_ != State::Body)
        return;
    finishMessage(framing_ == Framing::UntilClose);
    state_ = State::Lost;
}

} // namespace lt::monitor
