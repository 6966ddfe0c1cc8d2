// The camera server's request reading on whatever a client sends, cut into
// pieces as the network may deliver it: the same requests come out however
// the bytes arrive, none over the size limit, and every answer is either a
// served GET/HEAD of a path or one of the errors the server sends.
#include "FuzzSupport.h"

#include "HttpRequest.h"

#include <vector>

namespace {

struct Outcome {
    std::vector<QByteArray> requests;
    bool tooLarge = false;
};

// Feeds the bytes in pieces of the given lengths (the rest in one piece).
Outcome frame(const QByteArray& bytes, const std::vector<int>& pieces)
{
    Outcome outcome;
    QByteArray received;
    qsizetype at = 0;
    std::size_t piece = 0;
    while (at < bytes.size() && !outcome.tooLarge) {
        const qsizetype length = piece < pieces.size() ? pieces[piece++] : bytes.size() - at;
        received += bytes.mid(at, length);
        at += length;
        QByteArray request;
        for (Framing f; (f = takeRequest(received, &request)) != Framing::NeedMore;) {
            if (f == Framing::TooLarge) {
                outcome.tooLarge = true;
                break;
            }
            outcome.requests.push_back(request);
        }
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes input(data, size);
    std::vector<int> pieces;
    for (int n = input.byte() % 8; n > 0; --n)
        pieces.push_back(1 + input.byte());
    const auto rest = input.rest();
    const QByteArray bytes(reinterpret_cast<const char*>(rest.data()), static_cast<qsizetype>(rest.size()));

    const Outcome whole = frame(bytes, {});
    const Outcome cut = frame(bytes, pieces);
    fuzz::require(whole.requests == cut.requests && whole.tooLarge == cut.tooLarge,
                  "requests do not depend on how the bytes arrive");
    for (const QByteArray& request : whole.requests) {
        fuzz::require(request.size() + 4 <= kMaxRequestBytes, "no request is over the limit");
        const HttpRequest parsed = parseRequest(request);
        if (parsed.status == 0) {
            fuzz::require(parsed.path.startsWith('/') && !parsed.path.contains('?'), "a served path is a path");
            fuzz::require(request.trimmed().startsWith(parsed.headOnly ? "HEAD " : "GET "), "only GET and HEAD are served");
        } else {
            fuzz::require(parsed.status == 400 || parsed.status == 405 || parsed.status == 505, "a known error");
            fuzz::require(parsed.close, "an error closes the connection");
            fuzz::require((parsed.status == 405) == !parsed.allowHeader.isEmpty(), "405 names the methods");
        }
    }
    return 0;
}
