#pragma once
// What the monitor reads out of HTTP bodies: a page's title (its charset from the header, a
// byte-order mark or a <meta> tag; GBK, GB18030, UTF-8 and Big5 among others), the body without
// its gzip or deflate coding, and the text of an upload (form fields, multipart text parts,
// plain text) as the upload log shows it.

#include <QString>
#include <string>
#include <string_view>

namespace lt::monitor
{

struct HttpMessage;

// The charset parameter of a Content-Type value, in lower case; empty when it has none.
std::string charsetParameter(std::string_view contentType);

// Bytes as text in the named charset. Without a name the decoder knows: UTF-8 when the bytes
// are valid UTF-8, else GB18030 (which reads GBK and GB2312 too).
QString decodeText(std::string_view bytes, std::string_view charset);

// The body without its content coding; at most maxBytes of it. A body cut short gives what
// could be decoded of its start.
std::string decodeContent(std::string_view body, std::string_view contentEncoding, size_t maxBytes);

// Whether a response of this Content-Type is a page: HTML or XHTML.
bool isPageType(std::string_view contentType);

// Whether a request target names an object of a page (an image, a script, a style sheet, a
// font…) by its extension.
bool isObjectPath(std::string_view target);

// The text of the first <title> element (any letter case), its character references resolved
// and its white space collapsed; empty when the page has none.
QString pageTitle(std::string_view html, std::string_view headerCharset);

// The upload as text: form fields "name=value" joined by "&", multipart text parts one a line
// (a file part named with its size), plain text as it is; a body that is not text is named by
// its type and size. Empty when the request carries no body.
QString uploadText(const HttpMessage& request);

} // namespace lt::monitor
