#pragma once

#include <QPushButton>

namespace Karvo {

// A flat, square title-bar button that draws its glyph with the painter, so it stays sharp
// at any scale and needs no icon theme.
class TitleBarButton : public QPushButton
{
    Q_OBJECT
public:
    enum Glyph { MenuGlyph, MinimizeGlyph, MaximizeGlyph, RestoreGlyph, CloseGlyph };
    Q_ENUM(Glyph)

    explicit TitleBarButton(Glyph glyph, QWidget *parent = nullptr);

    Glyph glyph() const { return m_glyph; }
    void setGlyph(Glyph glyph);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Glyph m_glyph;
};

} // namespace Karvo
