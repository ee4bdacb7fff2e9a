#pragma once

#include <QIcon>
#include <QWidget>

class QMenu;
class QPushButton;

namespace Karvo {

class TitleBarButton;

// The title bar of the toolkit's frameless windows: icon, centred title, and on the right the
// menu button and the window buttons the window's flags ask for (minimise and maximise only
// for windows that may change size). Dragging it moves the window; a double click maximises
// or restores a resizable window.
class TitleBar : public QWidget
{
    Q_OBJECT
public:
    explicit TitleBar(QWidget *parent = nullptr);

    // An empty icon or title falls back to the window's own, an empty window title to the
    // application's display name.
    QIcon icon() const { return m_icon; }
    void setIcon(const QIcon &icon);
    QString title() const { return m_title; }
    void setTitle(const QString &title);

    bool isMenuVisible() const;
    void setMenuVisible(bool visible);
    QPushButton *menuButton() const;
    // Shown when the menu button is pressed; not owned.
    void setMenu(QMenu *menu);

    // Shows the window buttons that match the window's current flags and size constraints.
    void updateButtons();

    QSize sizeHint() const override;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool canMaximize() const;
    void toggleMaximized();
    QIcon shownIcon() const;
    QString shownTitle() const;

    QIcon m_icon;
    QString m_title;
    TitleBarButton *m_menuButton;
    TitleBarButton *m_minimizeButton;
    TitleBarButton *m_maximizeButton;
    TitleBarButton *m_closeButton;
    QWidget *m_buttonBox;
    QPoint m_dragOffset;
    bool m_dragging = false;
};

} // namespace Karvo
