#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

// Reading what a widget painted, pixel by pixel.
namespace PixelProbe {

// What |widget| shows of itself and its children, background included.
inline QImage grab(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Whether every colour channel of |actual|, and its alpha unless |ignoreAlpha|, lies within
// |tolerance| of |expected|'s.
inline bool near(
    const QColor &actual, const QColor &expected, int tolerance = 1, bool ignoreAlpha = false)
{
    return qAbs(actual.red() - expected.red()) <= tolerance
        && qAbs(actual.green() - expected.green()) <= tolerance
        && qAbs(actual.blue() - expected.blue()) <= tolerance
        && (ignoreAlpha || qAbs(actual.alpha() - expected.alpha()) <= tolerance);
}

// How many pixels of |image| within |area| satisfy |match|; their bounding box goes to |bounds|.
template <typename Match>
int count(const QImage &image, const QRect &area, Match match, QRect *bounds = nullptr)
{
    int found = 0;
    const QRect clipped = area & image.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (match(image.pixelColor(x, y))) {
                ++found;
                if (bounds)
                    *bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return found;
}

// How many pixels of |image| within |area| have |colour| (alpha aside) within |tolerance|.
inline int countNear(const QImage &image, const QRect &area, const QColor &colour, int tolerance)
{
    return count(image, area, [&](const QColor &c) { return near(c, colour, tolerance, true); });
}

inline QByteArray describe(const QColor &colour)
{
    return QByteArray::number(colour.red()) + ',' + QByteArray::number(colour.green()) + ','
        + QByteArray::number(colour.blue()) + ',' + QByteArray::number(colour.alpha());
}

} // namespace PixelProbe
