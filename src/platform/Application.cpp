// The program's name, worked out in one place.
#include "Application.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {

QString applicationName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

} // namespace platform
