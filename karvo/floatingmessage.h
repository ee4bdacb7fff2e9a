#pragma once

#include <QWidget>

class QLabel;
class QTimer;

namespace Karvo {

// A rounded, shadowed message bubble with an icon and one text, usually shown over a window
// through MessageManager. The text stays on one line up to a readable width and wraps beyond. A
// transient message deletes itself |duration| ms after it is first shown; a resident one stays
// until its close button is pressed.
class FloatingMessage : public QWidget
{
    Q_OBJECT
public:
    enum MessageType { TransientType, ResidentType };
    Q_ENUM(MessageType)

    static const int DefaultDuration = 4000;

    explicit FloatingMessage(MessageType type = TransientType, QWidget *parent = nullptr);

    MessageType messageType() const { return m_type; }
    int duration() const { return m_duration; }
    // Takes effect from the moment of the call when the message is already on screen.
    void setDuration(int ms);
    void setIcon(const QIcon &icon);
    QString message() const;
    void setMessage(const QString &message);

signals:
    // Emitted by a resident message when the user dismisses it, just before it goes.
    void closeButtonClicked();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateTextWidth();

    MessageType m_type;
    int m_duration = DefaultDuration;
    QLabel *m_icon;
    QLabel *m_text;
    QTimer *m_timer = nullptr;
    bool m_timerStarted = false;
};

} // namespace Karvo
