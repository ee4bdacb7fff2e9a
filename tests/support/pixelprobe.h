#pragma once

#include <QColor>
#include <QImage>

// Reading what a widget painted, pixel by pixel.
namespace PixelProbe {

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

} // namespace PixelProbe
