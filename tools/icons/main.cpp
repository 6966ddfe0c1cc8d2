// ostrel-icons: writes the program's icon for installing, as the program
// paints it: ostrel.svg and ostrel-SIZE.png for each SIZE given.
//   ostrel-icons FOLDER SIZE...
#include "platform/Icons.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: ostrel-icons FOLDER SIZE...\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QFile svg(folder + "/ostrel.svg");
    if (!svg.open(QIODevice::WriteOnly) || svg.write(platform::icons::applicationSvg()) < 0) {
        std::fprintf(stderr, "ostrel-icons: cannot write %s: %s\n", qPrintable(svg.fileName()), qPrintable(svg.errorString()));
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "ostrel-icons: not a size: %s\n", argv[i]);
            return 1;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        platform::icons::paintApplication(painter, size);
        painter.end();
        const QString path = QString("%1/ostrel-%2.png").arg(folder).arg(size);
        if (!image.save(path)) {
            std::fprintf(stderr, "ostrel-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
