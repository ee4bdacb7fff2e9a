#include "offlineupdatedelegate.h"

#include "checkresultinfo.h"
#include "palettehelper.h"

#include <QPainter>
#include <QPainterPath>

namespace {

enum Column { NameColumn = 0, ResultColumn = 1 };
enum ResultValue { Failed = 1, Passed = 2 };

constexpr int BandRadius = 10;
// Green and red, in shades that stay readable on the light band; pure green is not.
const QColor PassedColor(0x1a, 0xa3, 0x3c);
const QColor FailedColor(0xe0, 0x36, 0x36);
constexpr int NameIndent = 18;
constexpr int ResultIndent = 10;

// The band of one cell: a rounded rectangle whose inner corners are squared off, so that the
// cells of a row join into one band rounded at its two ends.
QPainterPath bandPath(const QRect &cell, int column)
{
    QPainterPath rounded;
    rounded.setFillRule(Qt::WindingFill);
    rounded.addRoundedRect(cell, BandRadius, BandRadius);
    QPainterPath square;
    if (column == NameColumn)
        square.addRect(cell.adjusted(BandRadius, 0, 0, 0));
    else
        square.addRect(QRect(cell.left(), cell.top(), cell.width() / 2, cell.height()));
    return rounded.united(square);
}

void drawElidedText(QPainter *painter, const QRect &cell, int indent, const QString &text)
{
    const QFontMetrics metrics = painter->fontMetrics();
    const QString shown
        = metrics.elidedText(text, Qt::ElideMiddle, cell.width() - indent, Qt::TextShowMnemonic);
    const int baseline = cell.top() + cell.height() / 2 + cell.height() / 8;
    painter->drawText(cell.left() + indent, baseline, shown);
}

} // namespace

void OfflineUpdateDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (index.row() % 2 == 1) {
        const QPalette::ColorGroup group = option.state & QStyle::State_Enabled
            ? (option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive)
            : QPalette::Disabled;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(bandPath(option.rect, index.column()),
            Karvo::PaletteHelper::instance()->brush(Karvo::PaletteHelper::ItemBackground, group));
        painter->restore();
    }

    if (index.column() == NameColumn) {
        painter->save();
        drawElidedText(painter, option.rect, NameIndent,
            index.sibling(index.row(), NameColumn).data().toString());
        painter->restore();
    } else if (index.column() == ResultColumn) {
        const int value = index.data(ResultValueRole).toInt();
        painter->save();
        if (value == Passed)
            painter->setPen(PassedColor);
        else if (value == Failed)
            painter->setPen(FailedColor);
        else
            painter->setPen(QPen());
        drawElidedText(painter, option.rect, ResultIndent,
            index.sibling(index.row(), ResultColumn).data().toString());
        painter->restore();
    }
}
