#pragma once

// Small file and error helpers shared by the tests.

#include <QByteArray>
#include <QString>

#include <functional>

namespace testsupport {

// Writes `bytes` to `path` (a test failure when it cannot).
void writeFile(const QString& path, const QByteArray& bytes);

// The number of the platform::NumberedError that `action` raises, 0 for none.
int errorNumber(const std::function<void()>& action);

} // namespace testsupport
