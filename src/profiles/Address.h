#pragma once

// What a profile's host and port must be to make a camera's web address.

#include <QString>

#include <optional>

namespace profiles {

// Why the text cannot be a camera's host or port, in words for the user;
// empty when it can (or when it is empty: that is the connect rule's part).
QString hostProblem(const QString& host);
QString portProblem(const QString& port);

// A web address pasted where a host belongs ("http://cam:8081/view.html"),
// taken apart: its host, and its port (the scheme's own where it names none).
struct PastedAddress {
    QString host;
    QString port;
};
std::optional<PastedAddress> pastedAddress(const QString& text);

} // namespace profiles
