#pragma once

#include "itemdatarole.h"

#include <QStandardItem>

class QMargins;

namespace Karvo {

class StandardItem : public QStandardItem
{
public:
    StandardItem();
    explicit StandardItem(const QString &text);
    StandardItem(const QIcon &icon, const QString &text);
    explicit StandardItem(int rows, int columns = 1);

    int type() const override;
    QStandardItem *clone() const override;

    // Shorthands for the MarginsRole data.
    QMargins margins() const;
    void setMargins(const QMargins &margins);
};

} // namespace Karvo
