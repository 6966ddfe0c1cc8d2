// The scratch-file writer of the fuzz targets.
#include "FuzzSupport.h"

#include <QFile>

namespace fuzz {

QString writeScratch(const QString& name, const QByteArray& bytes)
{
    const QString path = scratchPath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("cannot write the scratch file");
    return path;
}

} // namespace fuzz
