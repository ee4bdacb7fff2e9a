#pragma once

#include <QObject>
#include <QPalette>

class QBrush;
class QColor;
class QWidget;

namespace Karvo {

// The toolkit's colours. The light palette is the one the style "velmora" installs; the colour
// types are roles that QPalette has no name for, derived from the application palette so that
// they follow its accent colour.
class PaletteHelper : public QObject
{
    Q_OBJECT
public:
    enum ColorType {
        NoType,
        ItemBackground,
        TextTitle,
        TextTips,
        TextWarning,
        TextLively,
        LightLively,
        DarkLively,
        FrameBorder,
        PlaceholderText,
        FrameShadowBorder,
        ObviousBackground
    };
    Q_ENUM(ColorType)

    static PaletteHelper *instance();

    // The toolkit's light palette, whatever the application palette currently is.
    QPalette standardPalette() const;
    // The application's palette once a QGuiApplication exists, else standardPalette().
    QPalette applicationPalette() const;
    // The widget's own palette; applicationPalette() for a null widget.
    QPalette palette(const QWidget *widget) const;

    // Translucent types (ItemBackground, FrameBorder, FrameShadowBorder) are meant to be laid
    // over the base or window colour. NoType answers an invalid colour.
    QColor color(ColorType type, QPalette::ColorGroup group = QPalette::Active) const;
    QBrush brush(ColorType type, QPalette::ColorGroup group = QPalette::Active) const;

private:
    explicit PaletteHelper(QObject *parent = nullptr);
};

} // namespace Karvo
