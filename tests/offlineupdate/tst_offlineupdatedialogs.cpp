// Tests the confirmation and the upgrade progress dialog on their own (the progress dialog with
// a scripted screen saver on a private session bus). Faults caught here:
// - continuing possible before the acknowledgement box is ticked (also on a later confirmation)
//   or after unticking; postponing starting the upgrade; sendStartUpgrade emitted after the
//   confirmation has closed, so that the progress dialog would come up late;
// - a progress dialog that does not cover the screen; key presses or releases it reports as
//   handled, that close it or type into its log box;
// - screen blanking not held off through the screen saver, or not let go on close; synthetic
//   key presses while a screen saver service answers, or none without one.
#include "confirmdialog.h"
#include "offlineupgradedialog.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>
#include <memory>

class tst_OfflineUpdateDialogs : public QObject
{
    Q_OBJECT

    TestBuses m_buses;

private slots:
    void initTestCase() { QCOMPARE(m_buses.start(), QString()); }

    void confirmation_data()
    {
        // Clicks: t = the acknowledgement box, c = continue, p = postpone.
        QTest::addColumn<bool>("backupSupported");
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<bool>("started");
        // Before the unticked rows, so that a state kept from one dialog to the next shows.
        QTest::newRow("ticked") << true << "tc" << true;
        QTest::newRow("not ticked") << true << "c" << false;
        QTest::newRow("ticked and unticked") << false << "ttc" << false;
        QTest::newRow("postponed") << true << "tp" << false;
    }

    void confirmation()
    {
        QFETCH(bool, backupSupported);
        QFETCH(QString, clicks);
        QFETCH(bool, started);
        ConfirmDialog dialog(backupSupported);
        dialog.show();
        QStringList seen;
        connect(&dialog, &ConfirmDialog::sendStartUpgrade, this, [&] {
            seen << QStringLiteral("started, shown %1, accepted %2")
                        .arg(int(dialog.isVisible()))
                        .arg(int(dialog.result() == QDialog::Accepted));
        });
        for (const QChar click : clicks) {
            const char *name = click == 't' ? "confirmCheckBox"
                : click == 'c'              ? "continueButton"
                                            : "postponeButton";
            QTest::mouseClick(
                dialog.findChild<QAbstractButton *>(QLatin1String(name)), Qt::LeftButton);
        }
        QCOMPARE(seen, started ? QStringList { "started, shown 1, accepted 0" } : QStringList());
        QCOMPARE(dialog.isVisible(), !started && !clicks.contains('p'));
        QCOMPARE(dialog.result() == QDialog::Accepted, started);
    }

    void keysSwallowed_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "\x1b";
        QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier) << QString();
    }

    void keysSwallowed()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        OfflineUpgradeDialog dialog(nullptr, nullptr);
        QVERIFY(dialog.isFullScreen());
        auto *logBox = dialog.findChild<QTextEdit *>();
        dialog.setUpgradeInfo(QStringLiteral("Unpacking base-files"));
        QTRY_COMPARE(logBox->toPlainText(), QStringLiteral("Unpacking base-files"));
        for (const QEvent::Type type : { QEvent::KeyPress, QEvent::KeyRelease }) {
            QKeyEvent event(type, key, Qt::KeyboardModifiers(modifiers), text);
            QVERIFY(!QCoreApplication::sendEvent(&dialog, &event));
            QCoreApplication::sendEvent(logBox, &event);
        }
        QVERIFY(dialog.isVisible());
        QCOMPARE(logBox->toPlainText(), QStringLiteral("Unpacking base-files"));
    }

    void screenKeptOn_data()
    {
        QTest::addColumn<bool>("screenSaverRuns");
        QTest::newRow("screen saver service") << true;
        QTest::newRow("none: key presses instead") << false;
    }

    void screenKeptOn()
    {
        QFETCH(bool, screenSaverRuns);
        ScriptedService screenSaver(
            m_buses.sessionAddress(), QStringLiteral("org.freedesktop.ScreenSaver"));
        screenSaver.setReply(QStringLiteral("Inhibit"), answer({ 4242u }, 100));
        if (screenSaverRuns)
            QCOMPARE(screenSaver.start(), QString());
        auto dialog = std::make_unique<OfflineUpgradeDialog>(nullptr, nullptr);
        auto *keys = dialog->findChild<QTimer *>(QStringLiteral("keyPressTimer"));
        QTest::qWait(500);
        QCOMPARE(keys->isActive(), !screenSaverRuns);
        QCOMPARE(
            screenSaver.members(), screenSaverRuns ? QStringList { "Inhibit" } : QStringList());
        dialog->close();
        dialog.reset();
        if (!screenSaverRuns)
            return;
        QTRY_COMPARE(screenSaver.members(), QStringList({ "Inhibit", "UnInhibit" }));
        QCOMPARE(screenSaver.calls().last().arguments, QVariantList { 4242u });
    }
};

QTEST_MAIN(tst_OfflineUpdateDialogs)
#include "tst_offlineupdatedialogs.moc"
