// Faults this test is there to catch: the style not reachable by the name "velmora"; transient
// messages that never go or go before their duration, resident ones that go by themselves;
// translations not found in the directories searched, found in the wrong precedence, or an old
// translator left installed on reload; a dialog button that does not close the dialog, leaves a
// result other than its index (index 0 and 1 collide with Rejected and Accepted), is not of the
// asked type or ignores the default flag; the close control or Escape ending the dialog with 0
// (the first button's index) instead of -1, or reporting a buttonClicked.
#include "application.h"
#include "dialog.h"
#include "floatingmessage.h"
#include "messagemanager.h"
#include "style.h"
#include "suggestbutton.h"
#include "warningbutton.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtPlugin>

Q_IMPORT_PLUGIN(VelmoraStylePlugin)

namespace {

const char Context[] = "tst_KarvoWidgets";

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

    void closesWithTheChoice_data()
    {
        QTest::addColumn<int>("way"); // a button's index, 3 the close control, 4 Escape
        QTest::addColumn<int>("result");
        QTest::newRow("normal button, index 0 is not Rejected") << 0 << 0;
        QTest::newRow("warning button, index 1 is not Accepted") << 1 << 1;
        QTest::newRow("close control") << 3 << -1;
        QTest::newRow("Escape") << 4 << -1;
    }
    void closesWithTheChoice()
    {
        QFETCH(int, way);
        QFETCH(int, result);
        Karvo::Dialog dialog;
        QCOMPARE(dialog.addButton(QStringLiteral("Cancel")), 0);
        QCOMPARE(
            dialog.addButton(QStringLiteral("Delete"), false, Karvo::Dialog::ButtonWarning), 1);
        QCOMPARE(dialog.addButton(QStringLiteral("OK"), true, Karvo::Dialog::ButtonRecommend), 2);
        QVERIFY(qobject_cast<Karvo::WarningButton *>(dialog.button(1)));
        QVERIFY(qobject_cast<Karvo::SuggestButton *>(dialog.button(2))->isDefault());
        QVERIFY(!qobject_cast<QPushButton *>(dialog.button(0))->isDefault());

        QSignalSpy clicked(&dialog, &Karvo::Dialog::buttonClicked);
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        if (way < 3)
            QTest::mouseClick(dialog.button(way), Qt::LeftButton);
        else if (way == 3)
            QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), result);
        QCOMPARE(finished, QList<QVariantList>({ { result } }));
        if (result < 0)
            QCOMPARE(clicked.count(), 0);
        else
            QCOMPARE(clicked, QList<QVariantList>({ { result, dialog.button(result)->text() } }));
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
