#include "app/AppIcon.h"

#include "res/DialogTemplate.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QXmlStreamReader>

namespace {

double Number(const QXmlStreamAttributes& attributes, const char* name, double fallback = 0.0)
{
    bool ok = false;
    const double value = attributes.value(QLatin1String(name)).toDouble(&ok);
    return ok ? value : fallback;
}

// Fill and stroke of one element, with SVG's defaults: black fill, no stroke.
void SetPaint(QPainter& painter, const QXmlStreamAttributes& attributes)
{
    const QString fill = attributes.value(QLatin1String("fill")).toString();
    if (fill == QLatin1String("none"))
        painter.setBrush(Qt::NoBrush);
    else
        painter.setBrush(QColor(fill.isEmpty() ? QStringLiteral("#000000") : fill));

    const QString stroke = attributes.value(QLatin1String("stroke")).toString();
    if (stroke.isEmpty() || stroke == QLatin1String("none")) {
        painter.setPen(Qt::NoPen);
        return;
    }
    QPen pen{QColor(stroke)};
    pen.setWidthF(Number(attributes, "stroke-width", 1.0));
    const QString cap = attributes.value(QLatin1String("stroke-linecap")).toString();
    pen.setCapStyle(cap == QLatin1String("round")    ? Qt::RoundCap
                    : cap == QLatin1String("square") ? Qt::SquareCap
                                                     : Qt::FlatCap);
    const QString join = attributes.value(QLatin1String("stroke-linejoin")).toString();
    pen.setJoinStyle(join == QLatin1String("round")   ? Qt::RoundJoin
                     : join == QLatin1String("bevel") ? Qt::BevelJoin
                                                      : Qt::MiterJoin);
    painter.setPen(pen);
}

QPolygonF Points(const QXmlStreamAttributes& attributes)
{
    QPolygonF polygon;
    const QStringList pairs = attributes.value(QLatin1String("points"))
                                  .toString()
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& pair : pairs) {
        const QStringList xy = pair.split(QLatin1Char(','));
        if (xy.size() == 2) polygon << QPointF(xy[0].toDouble(), xy[1].toDouble());
    }
    return polygon;
}

// The viewBox of the <svg> element, or its width and height.
QRectF ViewBox(const QXmlStreamAttributes& attributes)
{
    const QStringList box = attributes.value(QLatin1String("viewBox"))
                                .toString()
                                .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (box.size() == 4)
        return QRectF(box[0].toDouble(), box[1].toDouble(), box[2].toDouble(), box[3].toDouble());
    return QRectF(0, 0, Number(attributes, "width", 1.0), Number(attributes, "height", 1.0));
}

} // namespace

QPixmap RenderSvgIcon(const char* svg, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    if (svg == nullptr) return pixmap;

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QXmlStreamReader reader{QByteArray(svg)};
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) continue;
        const QStringView name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (name == QLatin1String("svg")) {
            const QRectF box = ViewBox(attributes);
            if (box.width() > 0 && box.height() > 0) {
                painter.scale(size / box.width(), size / box.height());
                painter.translate(-box.x(), -box.y());
            }
            continue;
        }
        painter.save();
        SetPaint(painter, attributes);
        if (name == QLatin1String("rect")) {
            const QRectF rect(Number(attributes, "x"), Number(attributes, "y"),
                              Number(attributes, "width"), Number(attributes, "height"));
            const double rx = Number(attributes, "rx");
            painter.drawRoundedRect(rect, rx, Number(attributes, "ry", rx));
        } else if (name == QLatin1String("circle")) {
            const double r = Number(attributes, "r");
            painter.drawEllipse(QPointF(Number(attributes, "cx"), Number(attributes, "cy")), r, r);
        } else if (name == QLatin1String("polyline")) {
            QPainterPath path;
            path.addPolygon(Points(attributes));
            if (painter.brush().style() == Qt::NoBrush)
                painter.strokePath(path, painter.pen());
            else
                painter.drawPath(path);
        }
        painter.restore();
    }
    return pixmap;
}

QIcon LoadIcon(int32_t resourceId)
{
    const char* svg = LoadIconResource(resourceId);
    if (svg == nullptr) return QIcon();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(RenderSvgIcon(svg, size));
    return icon;
}
