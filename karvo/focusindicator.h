#pragma once

#include <QObject>

namespace Karvo {

// Decides when focus marks are drawn: from the moment the keyboard is used until the next
// mouse press, in every window of the application, including the windows that open meanwhile.
// Qt marks a window for focus drawing only after a Tab press inside it, so a dialog opened
// with Return, or a page shown at start-up, would otherwise show no mark at all. The style
// installs it on the application; styles draw the mark where the option carries
// QStyle::State_KeyboardFocusChange.
class FocusIndicator : public QObject
{
    Q_OBJECT
public:
    static FocusIndicator *instance();

    bool keyboardInUse() const { return m_keyboard; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit FocusIndicator(QObject *parent = nullptr);
    void setKeyboardInUse(QWidget *window, bool keyboard);

    // Until the mouse is used, a window opened from the keyboard, or by the program itself,
    // shows where the keyboard will act.
    bool m_keyboard = true;
};

} // namespace Karvo
