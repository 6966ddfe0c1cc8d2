// Test helper: reading and writing whole files.
#include "Files.h"

#include "platform/NumberedError.h"

#include <QFile>

#include <gtest/gtest.h>

namespace testsupport {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

int errorNumber(const std::function<void()>& action)
{
    try {
        action();
    } catch (const platform::NumberedError& e) {
        return e.number();
    }
    return 0;
}

} // namespace testsupport
