#pragma once

#include <QByteArray>

// The camera server's request reading, apart from its sockets: cutting whole
// requests out of the bytes a connection has sent, and reading one request's
// line and headers.

// The largest request line plus headers accepted.
inline constexpr qsizetype kMaxRequestBytes = 8192;

enum class Framing {
    NeedMore, // no whole request yet, and the bytes so far are within the limit
    Whole,    // one request (without its blank line) taken off the front
    TooLarge  // the request is over kMaxRequestBytes: answer 431 and close
};

// Takes the first whole request (line and headers up to the blank line) off
// the front of `received` into `request`.
Framing takeRequest(QByteArray& received, QByteArray* request);

struct HttpRequest {
    int status = 0;          // 0 when the request can be served, else the error to answer
    QByteArray allowHeader;  // with 405, the header naming the methods there are
    bool headOnly = false;   // HEAD: the head of the answer without its body
    bool close = false;      // the connection closes after the answer
    QByteArray path;         // from the leading '/', without the query
};

// Reads a request's line and headers (CRLF or LF line ends). Only GET and HEAD
// of HTTP/1.0 and 1.1 without a body are served.
HttpRequest parseRequest(const QByteArray& request);
