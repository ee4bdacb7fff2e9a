// The client's two questions that change nothing, status and history, against a scripted
// stand-in for the service on a private bus, in process. Faults caught here:
// - status calling dpkg consistent when nobody learned it: the service could not tell and the
//   user's own dpkg --audit failed (on root's lock file), could not start or was killed; an
//   interrupted dpkg the service reports not failing the status or not naming the packages;
//   the user's failing audit taken over the service's answer; an audit that ran and found a
//   half-configured package taken for a consistent dpkg; JSON that claims true or false
//   without knowing;
// - history lines without the time, the user, the kind, the package or the outcome, a failure
//   without the library's sentence, a run finished at boot not said to be, an entry that is no
//   JSON object shown; JSON that is not the service's entries as one array, or an unreachable
//   service that exits 0.
#include "capturedstream.h"
#include "daemonclient.h"
#include "exitstatus.h"
#include "historycommand.h"
#include "historyentry.h"
#include "historytext.h"
#include "jsonevents.h"
#include "offlineupdateprotocol.h"
#include "scriptedlastcheck.h"
#include "scriptedservice.h"
#include "statuscommand.h"
#include "testbuses.h"
#include "textoutput.h"
#include "upgradefailuretext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <memory>
#include <time.h>

Q_DECLARE_METATYPE(Outcome)

using namespace OfflineUpdate;
using Reply = ScriptedService::Reply;

namespace {

const Reply UnknownMethod = errorAnswer(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
const Reply CannotRead = errorAnswer(
    QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("dpkg's state cannot be read"));

const char HalfConfigured[]
    = "The following packages are only half configured, probably due to problems\n"
      "configuring them the first time.  The configuration should be retried using\n"
      "dpkg --configure <package> or the configure menu option in dselect:\n"
      " probe-x              a probe\n";

QString entry(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject upgrade(const QString &outcome, const QString &key, const QString &detail, bool resumed)
{
    return { { "kind", "upgrade" }, { "id", "run-1" }, { "time", "2026-03-01T22:05:00Z" },
        { "uid", 1000 }, { "user", "alice" }, { "package", "update-2026-03.oup" },
        { "outcome", outcome }, { "reasonKey", key }, { "reasonDetail", detail },
        { "resumed", resumed } };
}

} // namespace

class tst_ServiceQueries : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    QTemporaryDir m_work;
    std::unique_ptr<ScriptedService> m_daemon;

    // A stand-in for dpkg whose --audit runs |script|; a program that does not exist for an
    // empty one.
    QString auditProgram(const QString &script)
    {
        const QString path = m_work.filePath(QStringLiteral("dpkg"));
        QFile::remove(path);
        if (script.isEmpty())
            return path;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write("#!/bin/sh\n" + script.toUtf8() + '\n');
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Outcome>();
        // History lines show local time; the rows are written for UTC.
        qputenv("TZ", "UTC");
        tzset();
        QCOMPARE(m_buses.start(), QString());
    }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService);
        answerLastCheck(m_daemon.get());
        QCOMPARE(m_daemon->start(), QString());
    }

    void cleanup() { m_daemon.reset(); }

    void status_data()
    {
        QTest::addColumn<bool>("serviceRuns");
        QTest::addColumn<Reply>("dpkgState"); // the service's answer to GetDpkgState
        QTest::addColumn<QString>("audit"); // the stand-in dpkg's script; empty: no program
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QJsonValue>("interrupted");
        QTest::addColumn<QStringList>("packages");
        QTest::addColumn<QString>("dpkgRow"); // the text row's value starts so

        const QString refused = QStringLiteral(
            "echo 'dpkg: error: unable to access the dpkg database directory' >&2; exit 2");
        const QString clean = QStringLiteral("exit 0");
        const QString halfConfigured
            = QStringLiteral("printf '%s' '") + QLatin1String(HalfConfigured) + "'";
        QTest::newRow("service: interrupted")
            << true << answer({ true, QStringList { "libfoo1", "libbar2" } }) << refused
            << int(ExitStatus::Refused) << "dpkg-interrupted" << QJsonValue(true)
            << QStringList { "libfoo1", "libbar2" } << "left interrupted (libfoo1, libbar2)";
        QTest::newRow("service: consistent, the user's audit refused")
            << true << answer({ false, QStringList() }) << refused << int(ExitStatus::Success)
            << "ok" << QJsonValue(false) << QStringList() << "consistent";
        QTest::newRow("service cannot tell, the user's audit refused")
            << true << CannotRead << refused << int(ExitStatus::Refused) << "dpkg-unknown"
            << QJsonValue(QJsonValue::Null) << QStringList() << "unknown: ";
        QTest::newRow("service predates the question, audit clean")
            << true << UnknownMethod << clean << int(ExitStatus::Success) << "ok"
            << QJsonValue(false) << QStringList() << "consistent";
        QTest::newRow("service predates the question, audit finds a package")
            << true << UnknownMethod << halfConfigured << int(ExitStatus::Refused)
            << "dpkg-interrupted" << QJsonValue(true) << QStringList { "probe-x" }
            << "left interrupted (probe-x)";
        QTest::newRow("no dpkg to ask")
            << true << CannotRead << QString() << int(ExitStatus::Refused) << "dpkg-unknown"
            << QJsonValue(QJsonValue::Null) << QStringList() << "unknown: ";
        QTest::newRow("audit killed")
            << true << CannotRead << QStringLiteral("kill -9 $$") << int(ExitStatus::Refused)
            << "dpkg-unknown" << QJsonValue(QJsonValue::Null) << QStringList() << "unknown: ";
        QTest::newRow("no service, audit clean")
            << false << answer() << clean << int(ExitStatus::Unreachable) << "unreachable"
            << QJsonValue(false) << QStringList() << "consistent";
    }

    void status()
    {
        QFETCH(bool, serviceRuns);
        QFETCH(Reply, dpkgState);
        QFETCH(QString, audit);
        QFETCH(int, exitStatus);
        QFETCH(QString, outcome);
        QFETCH(QJsonValue, interrupted);
        QFETCH(QStringList, packages);
        QFETCH(QString, dpkgRow);
        m_daemon->setReply(QStringLiteral("GetDpkgState"), dpkgState);
        if (!serviceRuns)
            m_daemon->stop();
        const QString dpkg = auditProgram(audit);
        QVERIFY(!dpkg.isEmpty());

        for (const bool json : { false, true }) {
            CapturedStream out;
            CapturedStream errors;
            std::unique_ptr<SessionOutput> output;
            if (json)
                output = std::make_unique<JsonEvents>(out.file());
            else
                output = std::make_unique<TextOutput>(out.file(), errors.file(), false, false);
            DaemonClient daemon(QDBusConnection::systemBus());
            const Outcome result = StatusCommand(&daemon, output.get(), dpkg).run();
            output->result(QStringLiteral("status"), result);
            QCOMPARE(result.exitStatus, exitStatus);
            QCOMPARE(result.name, outcome);
            for (const QString &package : packages)
                QVERIFY2(result.message.contains(package), qPrintable(result.message));
            const QString written = QString::fromUtf8(out.written());
            if (!json) {
                const int row = written.indexOf(QLatin1String("\ndpkg:"));
                QVERIFY2(row >= 0, qPrintable(written));
                const QString value = written.mid(row + 6).section('\n', 0, 0).trimmed();
                QVERIFY2(value.startsWith(dpkgRow), qPrintable(value));
                continue;
            }
            const QJsonObject status
                = QJsonDocument::fromJson(written.section('\n', 0, 0).toUtf8()).object();
            QCOMPARE(status.value("event").toString(), QStringLiteral("status"));
            QCOMPARE(status.value("dpkgInterrupted"), interrupted);
            QCOMPARE(status.value("dpkgPackages").toArray(), QJsonArray::fromStringList(packages));
        }
    }

    void history_data()
    {
        QTest::addColumn<QStringList>("entries"); // as the service answers
        QTest::addColumn<QStringList>("lines");

        const QString scriptFailed
            = UpgradeFailureText::forReason(UpgradeReason::ScriptFailed, "probe").inOneLine();
        const QString hooks
            = UpgradeFailureText::forReason("post-hooks-refused", "no home").inOneLine();
        const QString givenUp
            = UpgradeFailureText::forReason("resume-given-up", "2 attempts at boot failed")
                  .inOneLine();
        QTest::newRow("a check and an upgrade")
            << QStringList {
                   entry({ { "kind", "check" }, { "time", "2026-03-01T21:50:00Z" }, { "uid", 1000 },
                       { "user", "alice" }, { "package", "update-2026-03.oup" },
                       { "outcome", "passed" }, { "item", 6 } }),
                   entry(upgrade("succeeded", "", "", false)) }
            << QStringList { "2026-03-01 21:50  alice  check  update-2026-03.oup  passed",
                   "2026-03-01 22:05  alice  upgrade  update-2026-03.oup  succeeded" };
        QTest::newRow("a failed upgrade, with the library's sentence")
            << QStringList { entry(upgrade("failed", UpgradeReason::ScriptFailed, "probe", false)) }
            << QStringList { "2026-03-01 22:05  alice  upgrade  update-2026-03.oup  failed: "
                + scriptFailed };
        QTest::newRow("finished at boot")
            << QStringList { entry(upgrade("succeeded", "", "", true)) }
            << QStringList { "2026-03-01 22:05  alice  upgrade  update-2026-03.oup  succeeded, "
                             "finished at boot" };
        QTest::newRow("finished at boot, scripts refused")
            << QStringList { entry(upgrade("succeeded", "post-hooks-refused", "no home", true)) }
            << QStringList { "2026-03-01 22:05  alice  upgrade  update-2026-03.oup  succeeded, "
                             "finished at boot: The upgrade was interrupted, and it was finished "
                             "when the system started again. "
                + hooks };
        QTest::newRow("given up at boot")
            << QStringList { entry(
                   upgrade("failed", "resume-given-up", "2 attempts at boot failed", true)) }
            << QStringList { "2026-03-01 22:05  alice  upgrade  update-2026-03.oup  failed, "
                             "finished at boot: The upgrade was interrupted, and it could not be "
                             "finished when the system started again. "
                + givenUp };
        QTest::newRow("another user's, no time, and no object")
            << QStringList { "not json", entry({ { "kind", "check" }, { "uid", 1001 },
                                             { "user", "bob" }, { "package", "x.oup" },
                                             { "outcome", "failed" }, { "item", 0 } }) }
            << QStringList { "(no time)  bob  check  x.oup  failed: Insufficient disk space, "
                             "please clean up disk space and try again!" };
        QTest::newRow("none") << QStringList() << QStringList { "No checks or upgrades recorded." };
    }

    void history()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, lines);
        m_daemon->setReply(QStringLiteral("GetHistory"), answer({ entries }));
        DaemonClient daemon(QDBusConnection::systemBus());

        CapturedStream text;
        CapturedStream errors;
        TextOutput words(text.file(), errors.file(), false, false);
        const Outcome shown = HistoryCommand(&daemon, &words).run();
        words.result(QStringLiteral("history"), shown);
        QCOMPARE(shown.exitStatus, int(ExitStatus::Success));
        QCOMPARE(QString::fromUtf8(text.written()).split('\n', Qt::SkipEmptyParts), lines);

        CapturedStream json;
        JsonEvents events(json.file());
        events.result(QStringLiteral("history"), HistoryCommand(&daemon, &events).run());
        const QByteArray written = json.written();
        QCOMPARE(written.count('\n'), 1);
        QJsonArray expected;
        for (const QString &each : entries) {
            const QJsonObject object = QJsonDocument::fromJson(each.toUtf8()).object();
            if (!object.isEmpty())
                expected.append(object);
        }
        QCOMPARE(QJsonDocument::fromJson(written).array(), expected);
    }

    void historyUnreachable()
    {
        m_daemon->stop();
        DaemonClient daemon(QDBusConnection::systemBus());
        CapturedStream json;
        JsonEvents events(json.file());
        const Outcome outcome = HistoryCommand(&daemon, &events).run();
        events.result(QStringLiteral("history"), outcome);
        QCOMPARE(outcome.exitStatus, int(ExitStatus::Unreachable));
        const QJsonObject result = QJsonDocument::fromJson(json.written()).object();
        QCOMPARE(result.value("event").toString(), QStringLiteral("result"));
        QCOMPARE(result.value("outcome").toString(), QStringLiteral("unreachable"));
    }
};

QTEST_GUILESS_MAIN(tst_ServiceQueries)
#include "tst_servicequeries.moc"
