#pragma once

#include <QDialog>
#include <QIcon>

class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace Karvo {

class TitleBarButton;

// The toolkit's frameless dialog: a top row with the icon, the title and the standard close
// control, then the message, the content widgets and a row of buttons. Pressing one of its
// buttons closes the dialog; exec() then returns that button's index, and -1 when the dialog
// was closed any other way (close control, Escape, reject()). finished() carries the same
// number; since button indexes share their values with QDialog's Rejected and Accepted,
// callers should not rely on rejected() and accepted().
class Dialog : public QDialog
{
    Q_OBJECT
public:
    enum ButtonType { ButtonNormal, ButtonWarning, ButtonRecommend };

    explicit Dialog(QWidget *parent = nullptr);

    QIcon icon() const { return m_icon; }
    // |description| is what a screen reader says for the icon, such as "Warning".
    void setIcon(const QIcon &icon, const QString &description);
    QString title() const;
    void setTitle(const QString &title);
    QString message() const;
    void setMessage(const QString &message);
    void setWordWrapMessage(bool wrap);

    // The dialog takes |widget| as its child and lays it out below the message.
    void addContent(QWidget *widget, Qt::Alignment alignment = {});
    // Returns the new button's index.
    int addButton(const QString &text, bool isDefault = false, ButtonType type = ButtonNormal);
    // Fixes the dialog at |width| and the height its content needs there, the text of word
    // wrapped labels included; wider where the screen is too short for that height, and never
    // beyond the screen. Call again after the content has changed.
    void fitToContent(int width);
    int buttonCount() const;
    QAbstractButton *button(int index) const;
    QAbstractButton *closeButton() const;

public slots:
    // Closes the dialog with -1, the code for "no button chosen", rather than Rejected (0),
    // which is the index of the first button.
    void reject() override;

signals:
    void buttonClicked(int index, const QString &text);

protected:
    void childEvent(QChildEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateShape();
    void updateTitleText();

    QIcon m_icon;
    QString m_title;
    QWidget *m_topRow = nullptr;
    QLabel *m_iconLabel;
    QLabel *m_titleLabel;
    TitleBarButton *m_closeButton;
    QLabel *m_messageLabel;
    QVBoxLayout *m_contentLayout;
    QHBoxLayout *m_buttonLayout;
    QList<QAbstractButton *> m_buttons;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

} // namespace Karvo
