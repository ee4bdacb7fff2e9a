// Faults this test is there to catch: the style not reachable by the name "velmora"; a widget
// bound to a font level not following a base-size change, still following after unbind, or
// touched after its destruction; transient messages that never go or go before their duration,
// resident ones that go by themselves; translations not found in the directories searched,
// found in the wrong precedence, or an old translator left installed on reload; windows not
// centred on their screen, or pushed off its top-left edge when too large; window buttons not
// matching the window flags, a main window that regains its frame, a close button that does
// not close, a title bar that cannot be dragged.
#include "application.h"
#include "centerwindow.h"
#include "floatingmessage.h"
#include "fontsizemanager.h"
#include "mainwindow.h"
#include "messagemanager.h"
#include "style.h"
#include "titlebar.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QtPlugin>

Q_IMPORT_PLUGIN(VelmoraStylePlugin)

namespace {

const char Context[] = "tst_KarvoWidgets";

void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &at, const QPoint &global,
    Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class tst_KarvoWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("velmora"));
        QVERIFY(qobject_cast<Karvo::Style *>(QApplication::style()));
    }

    void boundWidgetFollows()
    {
        auto *fonts = Karvo::FontSizeManager::instance();
        const auto level = Karvo::FontSizeManager::T8;
        auto *label = new QLabel;
        fonts->bind(label, level);
        fonts->setBaseFontSize(20);
        QCOMPARE(label->font().pixelSize(), fonts->fontPixelSize(level));
        fonts->unbind(label);
        const int kept = label->font().pixelSize();
        fonts->setBaseFontSize(11);
        QCOMPARE(label->font().pixelSize(), kept);
        // Would write to freed memory if the binding outlived the widget.
        fonts->bind(label, level);
        delete label;
        QVERIFY(!fonts->isBound(label));
        fonts->setBaseFontSize(Karvo::FontSizeManager::DefaultBaseFontSize);
    }

    void transientMessage()
    {
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const int duration = 400;
        auto *transient = new Karvo::FloatingMessage(Karvo::FloatingMessage::TransientType);
        transient->setDuration(duration);
        const QPointer<Karvo::FloatingMessage> resident
            = new Karvo::FloatingMessage(Karvo::FloatingMessage::ResidentType);
        resident->setDuration(duration);

        QElapsedTimer clock;
        qint64 lifetime = -1;
        connect(transient, &QObject::destroyed, this, [&] { lifetime = clock.elapsed(); });
        clock.start();
        Karvo::MessageManager::instance()->sendMessage(&window, transient);
        Karvo::MessageManager::instance()->sendMessage(&window, resident);
        QVERIFY(transient->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(lifetime >= 0, duration + 3000);
        QVERIFY2(lifetime >= duration, qPrintable(QString::number(lifetime)));
        QVERIFY(resident && resident->isVisible());
    }

    void loadTranslator_data()
    {
        // Files as "<home|system>/<locale>:<translation>", locales most preferred first, and
        // what "Hello" comes out as.
        QTest::addColumn<QStringList>("row");
        QTest::newRow("system data directory")
            << QStringList { "system/de_DE:Hallo", "de_DE", "Hallo" };
        QTest::newRow("user directory before system directory")
            << QStringList { "home/de_DE:Hallo system/de_DE:Servus", "de_DE", "Hallo" };
        QTest::newRow("first locale preferred")
            << QStringList { "home/de_DE:Hallo home/fr_FR:Bonjour", "fr_FR de_DE", "Bonjour" };
        QTest::newRow("no file for the locale")
            << QStringList { "home/de_DE:Hallo", "it_IT", "Hello" };
    }
    void loadTranslator()
    {
        QFETCH(QStringList, row);
        const QString expected = row.at(2);
        QTemporaryDir dir;
        for (const QString &file : row.at(0).split(' ')) {
            const QString locale = file.section('/', 1).section(':', 0, 0);
            const QString target
                = dir.filePath(file.section('/', 0, 0) + "/karvo-test-org/karvo-test/translations");
            QFile ts(dir.filePath(locale + ".ts"));
            QVERIFY(QDir().mkpath(target) && ts.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ts.write(QStringLiteral("<TS version=\"2.1\"><context><name>%1</name><message><source>"
                                    "Hello</source><translation>%2</translation></message>"
                                    "</context></TS>\n")
                         .arg(QLatin1String(Context), file.section(':', 1))
                         .toUtf8());
            ts.close();
            QCOMPARE(
                QProcess::execute(QStringLiteral(LRELEASE),
                    { "-silent", ts.fileName(), "-qm", target + "/karvo-test_" + locale + ".qm" }),
                0);
        }
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("system")).toLocal8Bit());
        QList<QLocale> localeList;
        for (const QString &name : row.at(1).split(' '))
            localeList.append(QLocale(name));
        auto *application = static_cast<Karvo::Application *>(QCoreApplication::instance());
        QCOMPARE(application->loadTranslator(localeList), expected != QLatin1String("Hello"));
        QCOMPARE(QCoreApplication::translate(Context, "Hello"), expected);
        // Loading again for a locale without files must take the earlier translators away.
        QVERIFY(!application->loadTranslator({ QLocale(QLocale::Esperanto) }));
        QCOMPARE(QCoreApplication::translate(Context, "Hello"), QStringLiteral("Hello"));
    }

    void moveToCenter_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("frameless main window") << QSize(740, 550);
        QTest::newRow("larger than the screen") << QSize(3000, 2000);
    }
    void moveToCenter()
    {
        QFETCH(QSize, size);
        Karvo::MainWindow window;
        window.resize(size);
        window.move(3, 7);
        // Before showing, as the tool does, so that the window never appears elsewhere first.
        Karvo::moveToCenter(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect area = window.screen()->availableGeometry();
        const QRect frame = window.frameGeometry();
        if (size.width() > area.width())
            QCOMPARE(frame.topLeft(), area.topLeft());
        else // an odd difference in size leaves half a pixel to round either way
            QVERIFY((frame.center() - area.center()).manhattanLength() <= 2);
    }

    void windowButtons_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("fixedSize");
        QTest::addColumn<bool>("minimize");
        QTest::addColumn<bool>("maximize");
        QTest::newRow("default window") << int(Qt::Window) << false << true << true;
        QTest::newRow("fixed size") << int(Qt::Window) << true << true << false;
        QTest::newRow("close button only (the tool's window)")
            << int(Qt::WindowCloseButtonHint) << true << false << false;
    }
    void windowButtons()
    {
        QFETCH(int, flags);
        QFETCH(bool, fixedSize);
        Karvo::MainWindow window;
        if (fixedSize)
            window.setFixedSize(400, 300);
        window.setWindowFlags(Qt::WindowFlags(flags));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        const auto button = [&window](const char *name) {
            return window.titlebar()->findChild<QPushButton *>(
                QLatin1String("karvo-titlebar-") + QLatin1String(name));
        };
        QTEST(button("minimize") && button("minimize")->isVisible(), "minimize");
        QTEST(button("maximize") && button("maximize")->isVisible(), "maximize");
        QVERIFY(button("close") && button("close")->isVisible());
        QTest::mouseClick(button("close"), Qt::LeftButton);
        QTRY_VERIFY(!window.isVisible());
    }

    void dragTitleBar()
    {
        Karvo::MainWindow window;
        window.resize(400, 300);
        window.move(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.pos();
        Karvo::TitleBar *bar = window.titlebar();
        const QPoint grip(bar->width() / 3, bar->height() / 2);
        const QPoint delta(37, 21);
        // The title bar moves with the window, so the pointer's local position stays put.
        sendMouse(bar, QEvent::MouseButtonPress, grip, bar->mapToGlobal(grip), Qt::LeftButton);
        sendMouse(bar, QEvent::MouseMove, grip, bar->mapToGlobal(grip) + delta, Qt::LeftButton);
        sendMouse(bar, QEvent::MouseButtonRelease, grip, bar->mapToGlobal(grip), Qt::NoButton);
        QTRY_COMPARE(window.pos(), start + delta);
        // After the release, moving the pointer moves nothing.
        sendMouse(bar, QEvent::MouseMove, grip, bar->mapToGlobal(grip) + delta, Qt::NoButton);
        QCOMPARE(window.pos(), start + delta);
    }
};

int main(int argc, char *argv[])
{
    Karvo::Application application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("karvo-test-org"));
    QCoreApplication::setApplicationName(QStringLiteral("karvo-test"));
    tst_KarvoWidgets test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_karvowidgets.moc"
