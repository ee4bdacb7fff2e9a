#pragma once

#include <QHash>
#include <QObject>

class QFont;
class QWidget;

namespace Karvo {

// Ten font levels, T1 the largest and T10 the smallest, all counted from one base pixel size
// (the body text, T6). A bound widget takes its level's pixel size now and whenever the base
// size changes; every other font attribute of the widget is left alone.
class FontSizeManager : public QObject
{
    Q_OBJECT
public:
    enum SizeType { T1, T2, T3, T4, T5, T6, T7, T8, T9, T10, NSizeTypes };
    Q_ENUM(SizeType)

    static const int DefaultBaseFontSize = 14;
    // Smaller bases would make the lower levels coincide or vanish.
    static const int MinimumBaseFontSize = 8;

    static FontSizeManager *instance();

    // Binding again moves the widget to the new level. The binding ends with the widget.
    void bind(QWidget *widget, SizeType type);
    // The widget keeps its current font from now on.
    void unbind(QWidget *widget);
    bool isBound(const QWidget *widget) const;

    int fontPixelSize(SizeType type) const;
    // The application font at the level's pixel size.
    QFont get(SizeType type) const;

    int baseFontSize() const { return m_baseSize; }
    void setBaseFontSize(int px);

signals:
    void fontChanged();

private:
    explicit FontSizeManager(QObject *parent = nullptr);
    void apply(QWidget *widget, SizeType type) const;

    int m_baseSize = DefaultBaseFontSize;
    QHash<QWidget *, SizeType> m_bound;
};

} // namespace Karvo
