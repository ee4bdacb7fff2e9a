#pragma once

#include <QMargins>
#include <QObject>

class QWidget;

namespace Karvo {

class FloatingMessage;
class MessageArea;

// Shows floating messages over a widget: one message area per widget, at its bottom centre,
// where messages stack upwards and leave when they are done.
class MessageManager : public QObject
{
    Q_OBJECT
public:
    static MessageManager *instance();

    // Reparents |message| into |parent|'s message area and shows it.
    void sendMessage(QWidget *parent, FloatingMessage *message);
    // The distance the message area keeps from |parent|'s edges; the style's contents margin
    // on every side until set.
    void setContentMargins(QWidget *parent, const QMargins &margins);
    QMargins contentMargins(QWidget *parent) const;

private:
    explicit MessageManager(QObject *parent = nullptr);
    static MessageArea *area(QWidget *parent, bool create);
};

} // namespace Karvo
