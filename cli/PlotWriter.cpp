#include "cli/PlotWriter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kWidth = 1200, kHeight = 700;
constexpr int kLeft = 80, kRight = 150, kTop = 50, kBottom = 60;

// Fonts need a GUI application; the player has none, so one is made on the
// offscreen platform for the drawing.
std::unique_ptr<QGuiApplication> OffscreenApplication()
{
    if (QCoreApplication::instance() != nullptr) return nullptr;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The platform's notes (no runtime folder, no fonts database) are not the
    // user's concern: a plot that cannot be written says so by itself.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "tonewright-play: %s\n", qPrintable(text));
    });
    static int argc = 1;
    static char name[] = "tonewright-play";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace

bool WritePlot(const std::string& path, const Plot& plot, std::string& error)
{
    const std::unique_ptr<QGuiApplication> application = OffscreenApplication();
    if (plot.hertz.empty() || plot.hertz.size() != plot.db.size()) {
        error = "nothing to plot";
        return false;
    }
    const double fLow = std::max(plot.hertz.front(), 10.0), fHigh = plot.hertz.back();
    double yHigh = *std::max_element(plot.db.begin(), plot.db.end());
    double yLow = *std::min_element(plot.db.begin(), plot.db.end());
    for (const PlotLine& line : plot.limits) {
        yHigh = std::max(yHigh, line.y);
        yLow = std::min(yLow, line.y);
    }
    // A step of 1, 2 or 5 times a power of ten that gives about eight
    // divisions, a spectrum shown to 200 dB below its top at most, and a
    // flat response still a few divisions high.
    yLow = std::max(yLow, yHigh - 200.0);
    const double span = std::max(yHigh - yLow, 0.2);
    const double decade = std::pow(10.0, std::floor(std::log10(span / 8.0)));
    double step = decade;
    for (double multiple : {2.0, 5.0, 10.0})
        if (span / step > 10.0) step = decade * multiple;
    yHigh = step * (std::floor(yHigh / step) + 1.0);
    yLow = step * (std::ceil(yLow / step) - 1.0);
    const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    auto X = [&](double f) {
        return kLeft + plotW * std::log(std::max(f, fLow) / fLow) / std::log(fHigh / fLow);
    };
    auto Y = [&](double db) {
        return kTop + plotH * (yHigh - std::clamp(db, yLow, yHigh)) / (yHigh - yLow);
    };

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(220, 220, 220));
    for (double decade = std::pow(10.0, std::floor(std::log10(fLow))); decade <= fHigh;
         decade *= 10)
        for (int m = 1; m < 10; ++m)
            if (decade * m >= fLow && decade * m <= fHigh)
                painter.drawLine(QPointF(X(decade * m), kTop),
                                 QPointF(X(decade * m), kTop + plotH));
    for (double db = yLow; db <= yHigh + step / 2; db += step)
        painter.drawLine(QPointF(kLeft, Y(db)), QPointF(kLeft + plotW, Y(db)));
    painter.setPen(Qt::black);
    painter.drawRect(QRectF(kLeft, kTop, plotW, plotH));
    for (double decade = std::pow(10.0, std::ceil(std::log10(fLow))); decade <= fHigh; decade *= 10)
        painter.drawText(QPointF(X(decade) - 20, kTop + plotH + 20),
                         decade >= 1000 ? QString("%1 kHz").arg(decade / 1000)
                                        : QString("%1 Hz").arg(decade));
    for (double db = yLow; db <= yHigh + step / 2; db += step)
        painter.drawText(QPointF(10, Y(db) + 5), QString::number(db, 'g', 6));
    painter.drawText(QPointF(10, kTop - 12), QString::fromStdString(plot.yLabel));
    painter.drawText(QRectF(kLeft, 8, plotW, 24), Qt::AlignCenter,
                     QString::fromStdString(plot.title));

    QPainterPath curve;
    for (size_t i = 0; i < plot.hertz.size(); ++i) {
        const QPointF point(X(plot.hertz[i]), Y(plot.db[i]));
        if (i == 0)
            curve.moveTo(point);
        else
            curve.lineTo(point);
    }
    painter.setPen(QPen(QColor(30, 80, 200), 1.5));
    painter.drawPath(curve);
    painter.setPen(QPen(QColor(200, 40, 40), 1.5, Qt::DashLine));
    // Each label on its line's side away from the others, so that two close
    // lines keep readable labels.
    for (const PlotLine& line : plot.limits) {
        painter.drawLine(QPointF(kLeft, Y(line.y)), QPointF(kLeft + plotW, Y(line.y)));
        const bool highest = std::all_of(plot.limits.begin(), plot.limits.end(),
                                         [&](const PlotLine& other) { return other.y <= line.y; });
        painter.drawText(QPointF(kLeft + plotW + 8, Y(line.y) + (highest ? -3 : 13)),
                         QString::fromStdString(line.label));
    }
    painter.end();
    if (!image.save(QString::fromStdString(path), "PNG")) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
