// The program's icons, painted from figures: the application, the tray and the toolbar buttons.
#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace platform::icons {

namespace {

QIcon drawn(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return QIcon(pixmap);
}

QPen pen(const QColor& colour, double width = 1.6)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

} // namespace

QIcon checkMark()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(0, 140, 40), 2.4));
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
    });
}

QIcon cross()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(190, 20, 20), 2.4));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    });
}

QIcon profiles()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(40, 40, 40)));
        p.setBrush(QColor(120, 160, 220));
        p.drawRoundedRect(QRectF(2, 4, 12, 9), 2, 2);
        p.setBrush(QColor(30, 30, 30));
        p.drawEllipse(QPointF(8, 8.5), 2.5, 2.5);
    });
}

QIcon pin()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(60, 60, 60)));
        p.setBrush(QColor(220, 60, 60));
        p.drawEllipse(QPointF(8, 5), 3.5, 3.5);
        p.drawLine(QPointF(8, 8.5), QPointF(8, 14.5));
    });
}

QIcon refresh()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(30, 100, 200), 1.8));
        p.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 280 * 16);
        p.setBrush(QColor(30, 100, 200));
        p.drawPolygon(QPolygonF({QPointF(10, 1.5), QPointF(14, 4), QPointF(10, 6.5)}));
    });
}

QIcon camera()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(40, 40, 40)));
        p.setBrush(QColor(90, 90, 90));
        p.drawRoundedRect(QRectF(1.5, 5, 13, 8.5), 1.5, 1.5);
        p.drawRect(QRectF(5, 3, 5, 2));
        p.setBrush(QColor(170, 210, 250));
        p.drawEllipse(QPointF(8, 9.2), 2.6, 2.6);
    });
}

QIcon sizes()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(40, 40, 40)));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1.5, 5.5, 8, 8));
        p.drawRect(QRectF(5.5, 1.5, 9, 9));
    });
}

QIcon about()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(30, 80, 170)));
        p.setBrush(QColor(210, 230, 255));
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.setPen(pen(QColor(30, 80, 170), 2));
        p.drawLine(QPointF(8, 7), QPointF(8, 12));
        p.drawPoint(QPointF(8, 4.3));
    });
}

QIcon save()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(40, 40, 40)));
        p.setBrush(QColor(60, 90, 160));
        p.drawRect(QRectF(2, 2, 12, 12));
        p.setBrush(QColor(240, 240, 240));
        p.drawRect(QRectF(4.5, 2, 7, 4.5));
    });
}

QIcon separate()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(40, 40, 40)));
        p.setBrush(QColor(250, 250, 250));
        p.drawRect(QRectF(1.5, 4.5, 9, 9));
        p.setBrush(QColor(120, 170, 230));
        p.drawRect(QRectF(5.5, 1.5, 9, 9));
    });
}

QIcon open()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(120, 90, 20)));
        p.setBrush(QColor(240, 200, 90));
        QPainterPath folder;
        folder.moveTo(1.5, 4);
        folder.lineTo(6, 4);
        folder.lineTo(7.5, 5.5);
        folder.lineTo(14.5, 5.5);
        folder.lineTo(14.5, 13.5);
        folder.lineTo(1.5, 13.5);
        folder.closeSubpath();
        p.drawPath(folder);
    });
}

QIcon fit()
{
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(40, 40, 40)));
        p.drawRect(QRectF(2, 2, 12, 12));
        p.drawLine(QPointF(5, 8), QPointF(11, 8));
        p.drawLine(QPointF(8, 5), QPointF(8, 11));
    });
}

// The program's icon on a 16 x 16 grid: a dark red camera body with a light
// lens. The painted icon, the PNGs and the SVG of the installed program all
// come from these figures.
namespace shape {
constexpr QRectF kBody(1, 3, 14, 10);
constexpr double kCorner = 2;
constexpr QPointF kLens(8, 8);
constexpr double kLensRadius = 3.2;
constexpr double kOutline = 1.6;
const QColor kOutlineColour(20, 20, 20);
const QColor kBodyColour(128, 0, 0);
const QColor kLensColour(230, 230, 230);
} // namespace shape

void paintApplication(QPainter& p, int size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    p.setPen(pen(shape::kOutlineColour, shape::kOutline));
    p.setBrush(shape::kBodyColour);
    p.drawRoundedRect(shape::kBody, shape::kCorner, shape::kCorner);
    p.setBrush(shape::kLensColour);
    p.drawEllipse(shape::kLens, shape::kLensRadius, shape::kLensRadius);
    p.restore();
}

QIcon application()
{
    return drawn([](QPainter& p) { paintApplication(p, 16); });
}

QByteArray applicationSvg()
{
    const auto colour = [](const QColor& c) { return c.name().toLatin1(); };
    const auto number = [](double v) { return QByteArray::number(v, 'g', 6); };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" viewBox=\"0 0 16 16\">\n"
           "  <rect x=\"" + number(shape::kBody.x()) + "\" y=\"" + number(shape::kBody.y()) + "\" width=\"" +
           number(shape::kBody.width()) + "\" height=\"" + number(shape::kBody.height()) + "\" rx=\"" +
           number(shape::kCorner) + "\" fill=\"" + colour(shape::kBodyColour) + "\" stroke=\"" +
           colour(shape::kOutlineColour) + "\" stroke-width=\"" + number(shape::kOutline) +
           "\" stroke-linejoin=\"round\"/>\n"
           "  <circle cx=\"" + number(shape::kLens.x()) + "\" cy=\"" + number(shape::kLens.y()) + "\" r=\"" +
           number(shape::kLensRadius) + "\" fill=\"" + colour(shape::kLensColour) + "\" stroke=\"" +
           colour(shape::kOutlineColour) + "\" stroke-width=\"" + number(shape::kOutline) + "\"/>\n"
           "</svg>\n";
}

} // namespace platform::icons
