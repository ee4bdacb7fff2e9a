// Tests the upgrade progress dialog (real model, scripted window manager on a private session
// bus, fake "xdotool" first on PATH). Faults caught here: key presses or releases the dialog
// reports as handled, that close it or type into its log box; an out-of-range progress the bar
// ignores (keeping the old value) or the label alters; a log box keeping more than the last ten
// lines or losing the newest; dots not cycling one, two, three; timers running on after close;
// a key press that blocks the GUI thread or overlaps a running one; a wallpaper not stretched
// over the screen, or a light background where there is none.
#include "offlineupdatemodel.h"
#include "offlineupgradedialog.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTextEdit>
#include <QWindow>
#include <QtTest>
#include <memory>

class tst_OfflineUpgradeDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_dialog.reset(); }
    void keysSwallowed_data();
    void keysSwallowed();
    void progress_data();
    void progress();
    void logKeepsLastTen();
    void dotsCycleUntilClosed();
    void keyPressRunsAside();
    void background_data();
    void background();

private:
    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_windowManager;
    QTemporaryDir m_dir;
    std::unique_ptr<OfflineUpdateModel> m_model;
    std::unique_ptr<OfflineUpgradeDialog> m_dialog;
};

void tst_OfflineUpgradeDialog::initTestCase()
{
    QString error;
    QVERIFY2(m_buses.start(&error), qPrintable(error));
    m_windowManager = std::make_unique<ScriptedService>(m_buses.sessionAddress(),
        QStringLiteral("com.tevrin.wm"), QStringLiteral("/com/tevrin/wm"),
        QStringLiteral("com.tevrin.wm"));
    QVERIFY2(m_windowManager->start(&error), qPrintable(error));
    // Logs its start and its end, a second apart.
    QFile fake(m_dir.filePath(QStringLiteral("xdotool")));
    QVERIFY(fake.open(QIODevice::WriteOnly)
        && fake.write("#!/bin/sh\necho \"start $*\" >>\"$0.log\"\nsleep 1\necho end >>\"$0.log\"\n")
        && fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner));
    qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + qgetenv("PATH"));
    m_model = std::make_unique<OfflineUpdateModel>();
}

void tst_OfflineUpgradeDialog::init()
{
    m_windowManager->setReply(QStringLiteral("GetCurrentWorkspaceBackground"), {});
    m_dialog = std::make_unique<OfflineUpgradeDialog>(m_model.get(), nullptr);
    QVERIFY(m_dialog->isFullScreen());
    QCOMPARE(m_dialog->geometry(), QGuiApplication::primaryScreen()->geometry());
    QCOMPARE(m_dialog->windowHandle()->property("_t_twayland_window-type"), QVariant("launcher"));
}

void tst_OfflineUpgradeDialog::keysSwallowed_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "\x1b";
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << "a";
    QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier) << QString();
}

void tst_OfflineUpgradeDialog::keysSwallowed()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    auto *logBox = m_dialog->findChild<QTextEdit *>();
    m_dialog->setUpgradeInfo(QStringLiteral("Unpacking base-files"));
    for (const QEvent::Type type : { QEvent::KeyPress, QEvent::KeyRelease }) {
        QKeyEvent event(type, key, Qt::KeyboardModifiers(modifiers), text);
        QVERIFY(!QCoreApplication::sendEvent(m_dialog.get(), &event));
        QCoreApplication::sendEvent(logBox, &event);
    }
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(logBox->toPlainText(), QStringLiteral("Unpacking base-files"));
}

void tst_OfflineUpgradeDialog::progress_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("bar");
    QTest::newRow("start") << 0 << 0;
    QTest::newRow("backup done") << 30 << 30;
    QTest::newRow("halfway") << 50 << 50;
    QTest::newRow("done") << 100 << 100;
    QTest::newRow("above the range") << 150 << 100;
    QTest::newRow("below the range") << -2 << 0;
}

void tst_OfflineUpgradeDialog::progress()
{
    QFETCH(int, value);
    QFETCH(int, bar);
    m_dialog->setUpgradeProgress(70); // so that a value left unchanged shows
    m_dialog->setUpgradeProgress(value);
    QCOMPARE(m_dialog->findChild<QProgressBar *>()->value(), bar);
    QCOMPARE(m_dialog->findChild<QLabel *>(QStringLiteral("percentLabel"))->text(),
        QString::number(value) + QLatin1Char('%'));
}

void tst_OfflineUpgradeDialog::logKeepsLastTen()
{
    QStringList lines;
    for (int i = 1; i <= 11; ++i) {
        lines.append(QStringLiteral("Setting up package%1 (1.%1) ...").arg(i));
        m_dialog->setUpgradeInfo(lines.last());
    }
    QCOMPARE(m_dialog->findChild<QTextEdit *>()->toPlainText(), lines.mid(1).join('\n'));
}

void tst_OfflineUpgradeDialog::dotsCycleUntilClosed()
{
    const auto *label = m_dialog->findChild<QLabel *>(QStringLiteral("warningLabel"));
    QTimer *dots = m_dialog->findChild<QTimer *>(QStringLiteral("dotTimer"));
    QTimer *keys = m_dialog->findChild<QTimer *>(QStringLiteral("keyPressTimer"));
    QVERIFY(dots && dots->isActive() && keys && keys->isActive());
    QStringList seen { label->text() };
    connect(dots, &QTimer::timeout, this, [&] { seen.append(label->text()); });
    dots->setInterval(5);
    QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 5, 4000);
    const QString text = QStringLiteral("Please do not forcibly shut down or cut power during the "
                                        "update, otherwise it will damage the system");
    QCOMPARE(seen.mid(0, 5),
        QStringList({ text + '.', text + '.', text + "..", text + "...", text + '.' }));
    QVERIFY(m_dialog->close());
    QVERIFY(!dots->isActive());
    QVERIFY(!keys->isActive());
}

void tst_OfflineUpgradeDialog::keyPressRunsAside()
{
    const auto runs = [this] {
        QFile file(m_dir.filePath(QStringLiteral("xdotool.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTimer *keys = m_dialog->findChild<QTimer *>(QStringLiteral("keyPressTimer"));
    keys->setInterval(20);
    // The fake sleeps a second between its two lines: an action that waited for it would let
    // nothing be seen before the end, one that did not wait for the previous run would start
    // another in between.
    QTRY_VERIFY_WITH_TIMEOUT(!runs().isEmpty(), 3000);
    QCOMPARE(runs(), QByteArray("start key 168\n"));
    QTRY_VERIFY_WITH_TIMEOUT(runs().count("start") == 2, 3000);
    keys->stop();
    QTRY_COMPARE_WITH_TIMEOUT(runs(), QByteArray("start key 168\nend\nstart key 168\nend\n"), 3000);
}

void tst_OfflineUpgradeDialog::background_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("shown");
    // Red on the left, blue on the right; tiled instead of stretched, it would be red at both
    // places looked at.
    QImage wallpaper(4, 4, QImage::Format_RGB32);
    wallpaper.fill(Qt::blue);
    QPainter(&wallpaper).fillRect(0, 0, 2, 4, Qt::red);
    const QString path = m_dir.filePath(QStringLiteral("wallpaper.png"));
    QVERIFY(wallpaper.save(path));
    QTest::newRow("wallpaper") << "file://" + path << true;
    QTest::newRow("unreadable") << "file://" + path + ".gone" << false;
    QTest::newRow("none") << QString() << false;
}

void tst_OfflineUpgradeDialog::background()
{
    QFETCH(QString, url);
    QFETCH(bool, shown);
    m_windowManager->setReply(QStringLiteral("GetCurrentWorkspaceBackground"),
        { url.isEmpty() ? QVariantList() : QVariantList { url }, 0, false, {}, {} });
    const QImage shot = OfflineUpgradeDialog(m_model.get(), nullptr).grab().toImage();
    const QColor left = shot.pixelColor(shot.width() / 4, 5);
    const QColor right = shot.pixelColor(shot.width() * 3 / 4, 5);
    const QString seen = left.name() + QLatin1Char(' ') + right.name();
    if (shown)
        QVERIFY2(left.red() > left.blue() && right.blue() > right.red(), qPrintable(seen));
    else
        QVERIFY2(left == right && qGray(left.rgb()) < 50, qPrintable(seen));
}

QTEST_MAIN(tst_OfflineUpgradeDialog)
#include "tst_offlineupgradedialog.moc"
