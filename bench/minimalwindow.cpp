// The yardstick for the tool's start: the least a Qt Widgets program does to show one window of
// the tool's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(740, 550);
    window.show();
    return app.exec();
}
