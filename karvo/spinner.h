#pragma once

#include <QWidget>

class QTimer;

namespace Karvo {

// A busy indicator: a ring of accent-coloured dots whose brightest dot runs round while the
// spinner plays. It scales to the smaller side of the widget.
class Spinner : public QWidget
{
    Q_OBJECT
public:
    explicit Spinner(QWidget *parent = nullptr);

    bool isPlaying() const;
    QSize sizeHint() const override;

public slots:
    void start();
    void stop();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer *m_timer;
    int m_step = 0;
};

} // namespace Karvo
