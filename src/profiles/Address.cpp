// Checking a profile's host and port, and taking a pasted web address apart.
#include "Address.h"

#include <QRegularExpression>
#include <QUrl>

namespace profiles {

QString hostProblem(const QString& host)
{
    if (host.isEmpty())
        return {};
    // A name of letters, digits, hyphens and dots (and the underscores some
    // local names have), or an address: IPv4, or IPv6 as the web writes it
    // between brackets.
    static const QRegularExpression name("^[A-Za-z0-9_]([A-Za-z0-9_.-]{0,251}[A-Za-z0-9_.])?$");
    QUrl url;
    url.setHost(host, QUrl::StrictMode);
    const bool address = host.contains(':') && url.isValid() && !url.host().isEmpty();
    if (address || (name.match(host).hasMatch() && !host.contains("..")))
        return {};
    return QString("'%1' is not a host name or address").arg(host);
}

QString portProblem(const QString& port)
{
    if (port.isEmpty())
        return {};
    bool number = false;
    const int value = port.toInt(&number);
    static const QRegularExpression digits("^[0-9]{1,5}$");
    if (digits.match(port).hasMatch() && number && value >= 1 && value <= 65535)
        return {};
    return QString("Port %1 is not a port number (1\u201365535)").arg(port);
}

std::optional<PastedAddress> pastedAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.contains("://"))
        return std::nullopt;
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || (url.scheme() != "http" && url.scheme() != "https"))
        return std::nullopt;
    return PastedAddress{url.host(), QString::number(url.port(url.scheme() == "https" ? 443 : 80))};
}

} // namespace profiles
