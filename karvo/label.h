#pragma once

#include <QLabel>

namespace Karvo {

// A label that starts bound to the body font level (T6) of the FontSizeManager, so its text
// follows the desktop's font size. Bind it to another level, or unbind it to keep a font of
// its own.
class Label : public QLabel
{
    Q_OBJECT
public:
    explicit Label(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    explicit Label(const QString &text, QWidget *parent = nullptr, Qt::WindowFlags flags = {});
};

} // namespace Karvo
