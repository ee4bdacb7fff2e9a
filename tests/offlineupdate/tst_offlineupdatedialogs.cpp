// Tests the confirmation and the upgrade progress dialog on their own (the progress dialog with
// a fake "xdotool" first on PATH). Faults caught here:
// - continuing possible before the acknowledgement box is ticked (also on a later confirmation)
//   or after unticking; postponing starting the upgrade; sendStartUpgrade emitted after the
//   confirmation has closed, so that the progress dialog would come up late; the warning that
//   the system cannot be recovered shown with backup support, or not without;
// - a progress dialog that does not cover the screen; key presses or releases it reports as
//   handled, that close it or type into its log box; a log box keeping more than the last ten
//   lines or losing the newest; timers running on after close; a key press that blocks the GUI
//   thread or overlaps a running one.
#include "confirmdialog.h"
#include "offlineupgradedialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

class tst_OfflineUpdateDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        // Logs its start and its end, a second apart.
        QFile fake(m_dir.filePath(QStringLiteral("xdotool")));
        QVERIFY(fake.open(QIODevice::WriteOnly)
            && fake.write(
                "#!/bin/sh\necho \"start $*\" >>\"$0.log\"\nsleep 1\necho end >>\"$0.log\"\n")
            && fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner));
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + qgetenv("PATH"));
    }

    void confirmation_data()
    {
        // Clicks: t = the acknowledgement box, c = continue, p = postpone.
        QTest::addColumn<bool>("backupSupported");
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<bool>("started");
        // Before the unticked rows, so that a state kept from one dialog to the next shows.
        QTest::newRow("ticked") << true << "tc" << true;
        QTest::newRow("ticked, no backup") << false << "tc" << true;
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
        bool warned = false;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            warned |= label->text().contains(QLatin1String("does not support backup and restore"));
        QCOMPARE(warned, !backupSupported);
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
        QTest::newRow("letter") << int(Qt::Key_A) << 0 << "a";
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
        for (const QEvent::Type type : { QEvent::KeyPress, QEvent::KeyRelease }) {
            QKeyEvent event(type, key, Qt::KeyboardModifiers(modifiers), text);
            QVERIFY(!QCoreApplication::sendEvent(&dialog, &event));
            QCoreApplication::sendEvent(logBox, &event);
        }
        QVERIFY(dialog.isVisible());
        QCOMPARE(logBox->toPlainText(), QStringLiteral("Unpacking base-files"));
    }

    void logKeepsLastTenAndClosingStopsTimers()
    {
        OfflineUpgradeDialog dialog(nullptr, nullptr);
        QStringList lines;
        for (int i = 1; i <= 11; ++i) {
            lines.append(QStringLiteral("Setting up package%1 (1.%1) ...").arg(i));
            dialog.setUpgradeInfo(lines.last());
        }
        QCOMPARE(dialog.findChild<QTextEdit *>()->toPlainText(), lines.mid(1).join('\n'));
        auto *dots = dialog.findChild<QTimer *>(QStringLiteral("dotTimer"));
        auto *keys = dialog.findChild<QTimer *>(QStringLiteral("keyPressTimer"));
        QVERIFY(dots && dots->isActive() && keys && keys->isActive());
        QVERIFY(dialog.close());
        QVERIFY(!dots->isActive() && !keys->isActive());
    }

    void keyPressRunsAside()
    {
        const auto runs = [this] {
            QFile file(m_dir.filePath(QStringLiteral("xdotool.log")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        OfflineUpgradeDialog dialog(nullptr, nullptr);
        auto *keys = dialog.findChild<QTimer *>(QStringLiteral("keyPressTimer"));
        keys->setInterval(20);
        // The fake sleeps a second between its two lines: an action that waited for it would
        // let nothing be seen before the end, one that did not wait for the previous run would
        // start another in between.
        QTRY_VERIFY_WITH_TIMEOUT(!runs().isEmpty(), 3000);
        QCOMPARE(runs(), QByteArray("start key 168\n"));
        QTRY_VERIFY_WITH_TIMEOUT(runs().count("start") == 2, 3000);
        keys->stop();
        QTRY_COMPARE_WITH_TIMEOUT(
            runs(), QByteArray("start key 168\nend\nstart key 168\nend\n"), 3000);
    }
};

QTEST_MAIN(tst_OfflineUpdateDialogs)
#include "tst_offlineupdatedialogs.moc"
