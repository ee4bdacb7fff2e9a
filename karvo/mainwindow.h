#pragma once

#include <QMainWindow>

namespace Karvo {

class TitleBar;

// A frameless main window with rounded corners that draws its own TitleBar above the central
// widget. The window stays frameless whatever window flags it is given before it is shown;
// the flags' button hints decide which buttons the title bar offers.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    TitleBar *titlebar() const { return m_titlebar; }

    void setVisible(bool visible) override;

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool hasRoundedCorners() const;
    void updateShape();

    TitleBar *m_titlebar;
};

} // namespace Karvo
