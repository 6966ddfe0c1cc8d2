// Cutting requests out of a connection's bytes and reading their heads.
#include "HttpRequest.h"

#include <QList>

#include <algorithm>

namespace {

bool isToken(const QByteArray& text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

HttpRequest failure(int status)
{
    HttpRequest request;
    request.status = status;
    request.close = true;
    return request;
}

} // namespace

Framing takeRequest(QByteArray& received, QByteArray* request)
{
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0)
        return received.size() > kMaxRequestBytes ? Framing::TooLarge : Framing::NeedMore;
    if (end + 4 > kMaxRequestBytes)
        return Framing::TooLarge;
    *request = received.left(end);
    received.remove(0, end + 4);
    return Framing::Whole;
}

HttpRequest parseRequest(const QByteArray& text)
{
    const QList<QByteArray> lines = text.split('\n');
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/') || !parts[2].startsWith("HTTP/"))
        return failure(400);
    const QByteArray& method = parts[0];
    const QByteArray& version = parts[2];
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return failure(505);
    HttpRequest request;
    request.close = version == "HTTP/1.0";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return failure(400);
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed().toLower();
        if (name == "connection")
            request.close = value.contains("close") || (version == "HTTP/1.0" && !value.contains("keep-alive"));
        // Nothing here takes a body; one sent anyway cannot be framed.
        if ((name == "content-length" && value != "0") || name == "transfer-encoding")
            return failure(400);
    }
    if (method != "GET" && method != "HEAD") {
        HttpRequest refused = failure(405);
        refused.allowHeader = "Allow: GET, HEAD\r\n";
        return refused;
    }
    request.headOnly = method == "HEAD";
    const QByteArray& target = parts[1];
    const qsizetype query = target.indexOf('?');
    request.path = query < 0 ? target : target.left(query);
    return request;
}
