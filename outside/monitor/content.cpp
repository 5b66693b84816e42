#include "outside/monitor/content.h"

#include "outside/monitor/http.h"

#include <QStringDecoder>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <zlib.h>

namespace lt::monitor
{

namespace
{

constexpr size_t kMaxTitleBytes = 4096;
constexpr size_t kMetaWindow = 8192; // where a page names its charset

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

std::string lowered(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

size_t findNoCase(std::string_view text, std::string_view word, size_t from = 0)
{
    for (size_t i = from; i + word.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < word.size() && lower(text[i + j]) == word[j])
            ++j;
        if (j == word.size())
            return i;
    }
    return std::string_view::npos;
}

bool space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The value after "charset=" at pos: quoted or up to a delimiter.
std::string charsetAt(std::string_view text, size_t pos)
{
    pos += 8;
    while (pos < text.size() && (space(text[pos]) || text[pos] == '"' || text[pos] == '\''))
        ++pos;
    size_t end = pos;
    while (end < text.size() && !space(text[end]) && text[end] != '"' && text[end] != '\'' &&
           text[end] != ';' && text[end] != '>' && text[end] != '/' && text[end] != ',')
        ++end;
    return lowered(text.substr(pos, end - pos));
}

// The charset a page names in a <meta> tag near its start.
std::string metaCharset(std::string_view html)
{
    const std::string_view head = html.substr(0, kMetaWindow);
    for (size_t meta = findNoCase(head, "<meta"); meta != std::string_view::npos;
         meta = findNoCase(head, "<meta", meta + 5)) {
        const size_t close = head.find('>', meta);
        const std::string_view tag = head.substr(
            meta, close == std::string_view::npos ? std::string_view::npos : close - meta);
        if (const size_t at = findNoCase(tag, "charset"); at != std::string_view::npos) {
            size_t eq = at + 7;
            while (eq < tag.size() && space(tag[eq]))
                ++eq;
            if (eq < tag.size() && tag[eq] == '=')
                return charsetAt(tag.substr(eq - 7), 0);
        }
    }
    return {};
}

bool validUtf8(std::string_view bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size()))));
    return !utf8.hasError();
}

QString collapsed(const QString& text)
{
    return text.simplified();
}

// One character reference ("&amp;", "&#x4E2D;") at text[i]; the characters it stands for, and
// its length in *used, or nothing when it is none.
QString reference(const QString& text, qsizetype i, qsizetype* used)
{
    const qsizetype semi = text.indexOf(u';', i);
    if (semi < 0 || semi - i > 10)
        return {};
    const QStringView name = QStringView(text).mid(i + 1, semi - i - 1);
    *used = semi - i + 1;
    if (name.startsWith(u'#')) {
        bool ok = false;
        const uint code = name.startsWith(u"#x", Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                                                                      : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return {};
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    static const std::pair<const char16_t*, const char16_t*> named[] = {
        {u"amp", u"&"},   {u"lt", u"<"},     {u"gt", u">"},    {u"quot", u"\""}, {u"apos", u"'"},
        {u"nbsp", u" "},  {u"middot", u"·"}, {u"mdash", u"—"}, {u"ndash", u"–"}, {u"hellip", u"…"},
        {u"copy", u"©"},  {u"reg", u"®"},    {u"laquo", u"«"}, {u"raquo", u"»"}, {u"ldquo", u"“"},
        {u"rdquo", u"”"}, {u"lsquo", u"‘"},  {u"rsquo", u"’"}, {u"trade", u"™"}, {u"times", u"×"}};
    for (const auto& [n, value] : named) {
        if (name == QStringView(n))
            return QString::fromUtf16(value);
    }
    return {};
}

QString unescaped(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype used = 0;
        const QString r = text[i] == u'&' ? reference(text, i, &used) : QString();
        if (r.isEmpty()) {
            out += text[i];
            continue;
        }
        out += r;
        i += used - 1;
    }
    return out;
}

std::string inflated(std::string_view body, int windowBits, size_t maxBytes, bool* failed)
{
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) {
        *failed = true;
        return {};
    }
    std::string out(std::min<size_t>(maxBytes, 64 * 1024), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = uInt(body.size());
    int rc = Z_OK;
    while (z.total_out < maxBytes) {
        if (z.total_out == out.size())
            out.resize(std::min(out.size() * 2, maxBytes));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + z.total_out);
        z.avail_out = uInt(out.size() - z.total_out);
        rc = inflate(&z, Z_SYNC_FLUSH);
        if (rc != Z_OK || (z.avail_in == 0 && z.avail_out != 0))
            break; // the end, an error, or the input ends here (a body cut short)
    }
    *failed = rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR && z.total_out == 0;
    out.resize(std::min<size_t>(z.total_out, maxBytes));
    inflateEnd(&z);
    return out;
}

QString formText(std::string_view body, std::string_view charset)
{
    QStringList fields;
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t amp = body.find('&', pos);
        if (amp == std::string_view::npos)
            amp = body.size();
        std::string field(body.substr(pos, amp - pos));
        std::replace(field.begin(), field.end(), '+', ' ');
        const QByteArray bytes = QByteArray::fromPercentEncoding(QByteArray::fromStdString(field));
        if (!field.empty())
            fields << decodeText(std::string_view(bytes.constData(), size_t(bytes.size())),
                                 charset);
        pos = amp + 1;
    }
    return fields.join(u'&');
}

QString sizeNote(uint64_t bytes)
{
    return QStringLiteral("%1 字节").arg(bytes);
}

QString multipartText(std::string_view body, std::string_view contentType)
{
    const size_t at = findNoCase(contentType, "boundary=");
    if (at == std::string_view::npos)
        return {};
    std::string boundary(contentType.substr(at + 9));
    boundary = boundary.substr(0, boundary.find(';'));
    if (boundary.size() >= 2 && boundary.front() == '"')
        boundary = boundary.substr(1, boundary.find('"', 1) - 1);
    const std::string delimiter = "--" + boundary;
    const std::string charset = charsetParameter(contentType);
    QStringList parts;
    for (size_t pos = body.find(delimiter); pos != std::string_view::npos;) {
        const size_t start = body.find('\n', pos);
        if (start == std::string_view::npos)
            break;
        const size_t next = body.find(delimiter, start);
        std::string_view part = body.substr(
            start + 1, next == std::string_view::npos ? std::string_view::npos : next - start - 1);
        pos = next;
        size_t headEnd = part.find("\r\n\r\n");
        size_t bodyStart = headEnd == std::string_view::npos ? 0 : headEnd + 4;
        if (headEnd == std::string_view::npos) {
            headEnd = part.find("\n\n");
            bodyStart = headEnd == std::string_view::npos ? 0 : headEnd + 2;
        }
        if (headEnd == std::string_view::npos)
            continue;
        const std::string_view head = part.substr(0, headEnd);
        std::string_view value = part.substr(bodyStart);
        if (value.size() >= 2 && value.substr(value.size() - 2) == "\r\n")
            value.remove_suffix(2);
        else if (!value.empty() && value.back() == '\n')
            value.remove_suffix(1);
        auto attribute = [&](std::string_view key) -> std::string {
            const size_t k = findNoCase(head, key);
            if (k == std::string_view::npos)
                return {};
            const size_t open = head.find('"', k);
            const size_t close = open == std::string_view::npos ? open : head.find('"', open + 1);
            return close == std::string_view::npos
                       ? std::string()
                       : std::string(head.substr(open + 1, close - open - 1));
        };
        const QString name = decodeText(attribute(" name="), charset);
        const std::string file = attribute("filename=");
        const size_t typeAt = findNoCase(head, "content-type:");
        const std::string_view partType =
            typeAt == std::string_view::npos ? std::string_view() : head.substr(typeAt + 13);
        const bool text =
            file.empty() || findNoCase(partType.substr(0, 40), "text/") != std::string_view::npos;
        if (text)
            parts << name + u'=' + decodeText(value, charset);
        else
            parts << QStringLiteral("%1=[文件 %2，%3]")
                         .arg(name, decodeText(file, charset), sizeNote(value.size()));
    }
    return parts.join(u'\n');
}

bool textType(std::string_view type)
{
    return findNoCase(type, "text/") == 0 || findNoCase(type, "json") != std::string_view::npos ||
           findNoCase(type, "xml") != std::string_view::npos ||
           findNoCase(type, "javascript") != std::string_view::npos;
}

// Text without control characters other than line ends and tabs.
bool readable(const QString& text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() < 0x20 && c != u'\n' && c != u'\r' && c != u'\t') ||
               c == QChar::ReplacementCharacter;
    });
}

} // namespace

std::string charsetParameter(std::string_view contentType)
{
    const size_t at = findNoCase(contentType, "charset=");
    return at == std::string_view::npos ? std::string() : charsetAt(contentType, at);
}

QString decodeText(std::string_view bytes, std::string_view charset)
{
    const QByteArrayView view(bytes.data(), qsizetype(bytes.size()));
    std::string name = lowered(charset);
    // GBK and GB2312 pages use the characters of GB18030 freely: its decoder reads them all.
    if (name == "gbk" || name == "gb2312" || name == "x-gbk" || name == "cp936" ||
        name == "gb_2312-80" || name == "euc-cn")
        name = "gb18030";
    if (!name.empty()) {
        QStringDecoder decoder(name.c_str());
        if (decoder.isValid())
            return decoder(view);
    }
    if (validUtf8(bytes))
        return QString::fromUtf8(view);
    QStringDecoder gb18030("GB18030");
    return gb18030(view);
}

std::string decodeContent(std::string_view body, std::string_view contentEncoding, size_t maxBytes)
{
    const std::string coding = lowered(contentEncoding);
    bool failed = false;
    if (coding.find("gzip") != std::string::npos || coding.find("deflate") != std::string::npos) {
        std::string out = inflated(body, 15 + 32, maxBytes, &failed);
        if (failed && coding.find("deflate") != std::string::npos)
            out = inflated(body, -15, maxBytes, &failed);
        return out;
    }
    return std::string(body.substr(0, maxBytes));
}

bool isPageType(std::string_view contentType)
{
    const std::string type = lowered(contentType.substr(0, contentType.find(';')));
    return type.find("text/html") != std::string::npos ||
           type.find("application/xhtml") != std::string::npos;
}

bool isObjectPath(std::string_view target)
{
    std::string_view path = target.substr(0, target.find_first_of("?#"));
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return false;
    const std::string ext = lowered(path.substr(dot + 1));
    static const char* const objects[] = {
        "js",   "mjs",  "css",   "png", "jpg", "jpeg", "gif", "webp", "svg",  "ico",  "bmp",
        "avif", "woff", "woff2", "ttf", "otf", "eot",  "map", "mp4",  "webm", "mp3",  "ogg",
        "wasm", "json", "xml",   "txt", "zip", "gz",   "exe", "apk",  "pdf",  "m3u8", "ts"};
    return std::any_of(std::begin(objects), std::end(objects),
                       [&](const char* e) { return ext == e; });
}

QString pageTitle(std::string_view html, std::string_view headerCharset)
{
    std::string charset(headerCharset);
    if (html.substr(0, 3) == "\xEF\xBB\xBF") {
        charset = "utf-8";
        html.remove_prefix(3);
    } else if (charset.empty()) {
        charset = metaCharset(html);
    }
    size_t open = 0;
    for (open = findNoCase(html, "<title"); open != std::string_view::npos;
         open = findNoCase(html, "<title", open + 6)) {
        const char after = open + 6 < html.size() ? html[open + 6] : '>';
        if (after == '>' || space(after) || after == '/')
            break;
    }
    if (open == std::string_view::npos)
        return {};
    const size_t start = html.find('>', open);
    if (start == std::string_view::npos)
        return {};
    size_t end = findNoCase(html, "</title", start + 1);
    if (end == std::string_view::npos)
        end = html.find('<', start + 1);
    std::string_view bytes = html.substr(
        start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1);
    bytes = bytes.substr(0, kMaxTitleBytes);
    return collapsed(unescaped(decodeText(bytes, charset)));
}

QString uploadText(const HttpMessage& request)
{
    if (request.bodyBytes == 0)
        return {};
    const std::string_view type = request.contentType;
    const std::string_view body = request.body;
    const std::string charset = charsetParameter(type);
    QString text;
    if (findNoCase(type, "application/x-www-form-urlencoded") == 0)
        text = formText(body, charset);
    else if (findNoCase(type, "multipart/form-data") == 0)
        text = multipartText(body, type);
    else if (type.empty() || textType(type)) {
        text = decodeText(body, charset);
        if (type.empty() && !readable(text))
            text.clear();
    }
    if (text.isEmpty()) {
        const QString kind = type.empty()
                                 ? QStringLiteral("未知类型")
                                 : QString::fromLatin1(type.data(), qsizetype(type.size()));
        return QStringLiteral("[非文本数据：%1，%2]").arg(kind, sizeNote(request.bodyBytes));
    }
    if (request.bodyTruncated || request.bodyBytes > body.size())
        text += QStringLiteral("\n……（共 %1，只记录了前 %2）")
                    .arg(sizeNote(request.bodyBytes), sizeNote(body.size()));
    return text;
}

} // namespace lt::monitor
