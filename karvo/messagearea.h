#pragma once

#include <QMargins>
#include <QWidget>

class QVBoxLayout;

namespace Karvo {

class FloatingMessage;

// The strip of a window that MessageManager shows floating messages in: a child of the window,
// as wide as its messages, centred at the bottom inside the window's content margins, and
// following the window's size. It hides itself while it holds no message.
class MessageArea : public QWidget
{
    Q_OBJECT
public:
    explicit MessageArea(QWidget *parent);

    QMargins contentMargins() const { return m_contentMargins; }
    void setContentMargins(const QMargins &margins);

    void addMessage(FloatingMessage *message);
    int messageCount() const;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void relayout();

    QMargins m_contentMargins;
    QVBoxLayout *m_layout;
};

} // namespace Karvo
