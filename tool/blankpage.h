#pragma once

#include <QWidget>

// A module page that has nothing to offer yet.
class BlankPage : public QWidget
{
    Q_OBJECT

public:
    explicit BlankPage(QWidget *parent = nullptr);

private:
    void initUI();
};
