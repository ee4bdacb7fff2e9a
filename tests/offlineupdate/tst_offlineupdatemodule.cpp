// Tests the offline update module's page flow and its import and checking pages, with a stand-in
// main window and a scripted daemon on a private system bus. Faults caught here:
// - a page pushed out of turn or never disposed of; a check not started, started twice (a path
//   taken while checking), or started with another path or without the home directory;
// - the import page taking a path without ".oup", or matching ".oup" case-insensitively or only
//   as the suffix ("update.oup.bak" is taken, "UPDATE.OUP" is not), or a cancelled dialog's
//   empty path; a file dialog that does not filter for "*.oup" or loses the pick;
// - a report while no check of the module's own is under way (a second one, after leaving, after
//   re-activation) pushing a result page over the page the user is on or deleting it;
// - re-activation without a fresh import page, or with a second model (whose duplicate
//   connections would handle every report twice);
// - a checking page that does not spin while the check runs, or spins on without a reason when
//   the check request is refused at once.
#include "frameproxyinterface.h"
#include "modalhandler.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatemodule.h"
#include "offlineupdatewidget.h"
#include "scriptedservice.h"
#include "spinner.h"
#include "suggestbutton.h"
#include "testbuses.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QtTest>
#include <memory>

namespace {

const QString CheckMethod = QStringLiteral("StartOfflineFileCheck");
const QString PackagePath = QStringLiteral("/media/usb/update.oup");

// The main window as a module sees it: a page area that takes over every pushed page.
struct Frame : FrameProxyInterface
{
    void pushWidget(ModuleInterface *inter, QWidget *widget) override
    {
        widget->setParent(&pageArea);
        widget->show();
        pushes.append({ inter, widget });
        kinds += qobject_cast<OfflineUpdateWidget *>(widget)      ? 'i'
            : qobject_cast<OfflineUpdateCheckingWidget *>(widget) ? 'c'
            : qobject_cast<OfflineCheckResultWidget *>(widget)    ? 'r'
                                                                  : '?';
    }
    void setCurrentModule(int, int) override { }
    ModuleInterface *currentModule() override { return nullptr; }

    QWidget pageArea;
    QList<QPair<ModuleInterface *, QPointer<QWidget>>> pushes;
    QString kinds;
};

} // namespace

class tst_OfflineUpdateModule : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;

private slots:
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        qputenv("HOME", "/tmp/tst-offlineupdatemodule-home");
    }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(
            m_buses.systemAddress(), QStringLiteral("com.tevrin.offline.update.daemon"));
        // As the real daemon: no answer until the check has ended, which is after these tests.
        m_daemon->setReply(CheckMethod, { {}, 0, true, {}, {} });
        QCOMPARE(m_daemon->start(), QString());
    }

    void cleanup() { m_daemon.reset(); }

    void flow_data()
    {
        // Steps: a = active(0), d = deactive(), f = |path| handed over, r = a check report of a
        // failed architecture, s = the daemon gone. Pages pushed: i = import, c = checking,
        // r = result, in capitals while they live.
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("checks");

        const auto row = [](const char *name, const QString &path, const char *steps,
                             const char *pages, int checks) {
            QTest::newRow(name) << path << QString::fromLatin1(steps) << QString::fromLatin1(pages)
                                << checks;
        };
        row("checked", PackagePath, "afr", "icR", 1);
        row("backup copy of a package", QStringLiteral("/tmp/x.oup.bak"), "af", "iC", 1);
        row("capital suffix", QStringLiteral("/media/usb/UPDATE.OUP"), "af", "I", 0);
        row("cancelled file dialog", QString(), "af", "I", 0);
        row("no daemon", PackagePath, "saf", "iC", 0);
        row("report on the import page", PackagePath, "ar", "I", 0);
        row("second report", PackagePath, "afrr", "icR", 1);
        row("second path while checking", PackagePath, "affr", "icR", 1);
        row("activated anew during a check", PackagePath, "afdar", "icI", 1);
        row("left during a check", PackagePath, "afdr", "ic", 1);
        row("left on the result page", PackagePath, "afrdr", "icr", 1);
        row("back after the result page", PackagePath, "afrdar", "icrI", 1);
        row("checked again after re-activation", PackagePath, "afdafr", "icicR", 2);
    }

    void flow()
    {
        QFETCH(QString, path);
        QFETCH(QString, steps);
        QFETCH(QString, pages);
        QFETCH(int, checks);

        Frame frame;
        OfflineUpdateModule module(&frame);
        for (const QChar step : steps) {
            if (step == 'a') {
                module.active(0);
            } else if (step == 'd') {
                module.deactive();
            } else if (step == 'f') {
                module.setOfflineUpdateFile(path);
            } else if (step == 's') {
                m_daemon->stop();
            } else {
                QSignalSpy relayed(module.findChild<OfflineUpdateModel *>(),
                    &OfflineUpdateModel::notifyOfflineCheckResult);
                QVERIFY(m_daemon->emitSignal(
                    QStringLiteral("NotifyOfflineFileCheckResult"), { 4, false }));
                QVERIFY(relayed.wait(5000));
            }
        }
        QCOMPARE(module.findChildren<OfflineUpdateModel *>().size(), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QString pushed = frame.kinds;
        for (int i = 0; i < frame.pushes.size(); ++i) {
            QCOMPARE(frame.pushes.at(i).first, &module);
            if (frame.pushes.at(i).second)
                pushed[i] = pushed.at(i).toUpper();
        }
        QCOMPARE(pushed, pages);

        QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members().count(CheckMethod), checks, 5000);
        for (const ScriptedObject::Call &call : m_daemon->calls())
            QVERIFY(call.member != CheckMethod
                || call.arguments == QVariantList({ QDir::homePath(), path }));

        const QWidget *last = frame.pushes.last().second;
        if (auto *result = qobject_cast<const OfflineCheckResultWidget *>(last))
            QCOMPARE(result->findChild<QTableView *>()->model()->index(2, 1).data().toString(),
                QStringLiteral("Fail"));
        if (auto *checking = qobject_cast<const OfflineUpdateCheckingWidget *>(last)) {
            auto *spinner = checking->findChild<Karvo::Spinner *>();
            const bool refused = steps.startsWith('s');
            QTRY_COMPARE_WITH_TIMEOUT(spinner->isPlaying(), !refused, 5000);
            QCOMPARE(spinner->isHidden(), refused);
            const QString shown = checking->findChild<QLabel *>()->text();
            QVERIFY2(shown.contains(QLatin1String("not installed or not running")) == refused,
                qPrintable(shown));
        }
    }

    void importDialog()
    {
        QTemporaryDir dir;
        const QString package = dir.filePath(QStringLiteral("update.oup"));
        QFile file(package);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        OfflineUpdateModel model;
        OfflineUpdateWidget page(&model);
        page.show();
        QSignalSpy taken(&model, &OfflineUpdateModel::notifyCheckFilePath);

        QStringList filters;
        ModalHandler pick([&](QDialog *dialog) {
            if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
                filters = files->nameFilters();
                // As typed by the user: selectFile() leaves the name field alone once it has the
                // focus, which it gets at a moment of its own.
                files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(package);
                dialog->accept(); // protected in QFileDialog
            } else {
                dialog->reject();
            }
        });
        QTest::mouseClick(page.findChild<Karvo::SuggestButton *>(), Qt::LeftButton);
        QCOMPARE(filters, QStringList { QStringLiteral("oup Files (*.oup)") });
        QCOMPARE(QList<QVariantList>(taken), QList<QVariantList> { { package } });
    }
};

QTEST_MAIN(tst_OfflineUpdateModule)
#include "tst_offlineupdatemodule.moc"
