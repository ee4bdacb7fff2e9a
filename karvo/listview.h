#pragma once

#include "itemdatarole.h"

#include <QListView>

namespace Karvo {

// A list whose items are spaced, inset by their MarginsRole margins and drawn with rounded
// backgrounds by the toolkit's own item delegate (installed by the constructor).
class ListView : public QListView
{
    Q_OBJECT
public:
    enum BackgroundType {
        NoBackground = 0,
        // One shared background: only the outer corners of the first and last item round.
        ClipCornerBackground = 1,
        // Every item on its own rounded background.
        RoundedBackground = 2,
        // Items in the normal state get no background; hover and selection still show.
        NoNormalState = 0x100
    };
    Q_ENUM(BackgroundType)

    explicit ListView(QWidget *parent = nullptr);

    // The size of an item's cell, its margins included. An invalid size lets each item take
    // the size of its content.
    QSize itemSize() const { return m_itemSize; }
    void setItemSize(const QSize &size);
    // Extra space after every item, along the flow.
    int itemSpacing() const { return m_itemSpacing; }
    void setItemSpacing(int spacing);
    // A BackgroundType value, NoNormalState possibly or'ed in.
    BackgroundType backgroundType() const { return m_backgroundType; }
    void setBackgroundType(BackgroundType type);

    // The item's painted area: its cell without the item spacing and its margins.
    QRect visualRect(const QModelIndex &index) const override;

    // Public here so that the owner of a list can inset its items from the list's edges.
    using QListView::setViewportMargins;

private:
    QSize m_itemSize;
    int m_itemSpacing = 0;
    BackgroundType m_backgroundType = RoundedBackground;
};

} // namespace Karvo
