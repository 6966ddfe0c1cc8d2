// A process using the private runtime folder as the viewer does: it writes
// page.htm, says where, waits for a line, writes page.htm again and ends
// (removing its folder on the way out).
#include "platform/RuntimeFolder.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

bool writePage(const QString& folder, const QByteArray& text)
{
    QFile page(folder + "/page.htm");
    return page.open(QIODevice::WriteOnly | QIODevice::Truncate) && page.write(text) == text.size();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QString error;
    const QString folder = platform::runtimeFolder(&error);
    if (folder.isEmpty()) {
        std::printf("error %s\n", qPrintable(error));
        return 1;
    }
    if (!writePage(folder, "first"))
        return 2;
    std::printf("ready %s\n", qPrintable(platform::runtimeFolderPath()));
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    return writePage(folder, "second") ? 0 : 3;
}
