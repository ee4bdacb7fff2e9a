// What a hostile local user can do to a run through the real daemon on a private bus: what was
// checked must be exactly what runs, for the one user who checked it. Faults caught here:
// - a signed package rewritten after its check (a plain file, or one reached through
//   /proc/PID/root of an overlay in the user's own namespace, with the page cache dropped)
//   whose new text the upgrade or the root post-upgrade scripts then run; another user's check
//   between an upgrade and its post-upgrade scripts letting that through;
// - a package on a file system that never answers hanging the daemon;
// - a tree a user renamed to the old cache directory deleted as root;
// - a post-upgrade script sent, through a link swapped into the home's path, to write
//   elsewhere;
// - another user learning of a run through the getters or its signals;
// - a check remounting or repointing the source list under a running package manager;
// - an unsigned package checked on an authorization kept from before.
#include "commandoutput.h"
#include "bustestbase.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"
#include "stuckfilesystem.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-sealed");
const QString Signer = QStringLiteral("Tevrin Sealed Signer <sealed@example.org>");
const QString TrustedKey
    = QStringLiteral("/etc/tevrin-offline-update/trusted.gpg.d/tevrin-sealed-signer.gpg");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString postHook(const QString &text)
{
    return QStringLiteral("echo %1 > \"$1/post-marker\"\n").arg(text);
}

// The string and number answers of a reply, in order.
QStringList replyValues(const QString &output)
{
    QStringList values;
    QRegularExpressionMatchIterator it
        = QRegularExpression(QStringLiteral("(?:string \"([^\"]*)\"|int32 (-?\\d+))"))
              .globalMatch(output);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        values << (match.capturedStart(1) >= 0 ? match.captured(1) : match.captured(2));
    }
    return values;
}

} // namespace

class tst_SealedRuns : public BusTestBase
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rewrittenAfterCheck_data();
    void rewrittenAfterCheck();
    void stuckFileSystem();
    void othersLearnNothing();
    void foreignTreeSurvives();
    void swappedHomeLink();
    void packageManagerRunning();
    void unsignedAskedEachTime();

private:
    // |user|'s own copy of a package of the probe at 2.0 with |contents|, readable by them.
    QString package(const TestUser &user, const QString &name, PackageFixture::Package contents);
    QStringList asUser(const TestUser &user, const QStringList &command) const;
};

void tst_SealedRuns::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts packages and the test makes users");
    QString error;
    QVERIFY2(setUpBus(Probe, Signer, TrustedKey, &error), qPrintable(error));
}

void tst_SealedRuns::cleanupTestCase()
{
    tearDownBus();
}

QStringList tst_SealedRuns::asUser(const TestUser &user, const QStringList &command) const
{
    return user.command(command);
}

QString tst_SealedRuns::package(
    const TestUser &user, const QString &name, PackageFixture::Package contents)
{
    contents.debs = QStringList { m_probeV2 };
    const QString built = m_work.filePath(name + QStringLiteral(".oup"));
    QString error;
    if (!PackageFixture::build(contents, built, &error))
        qWarning() << "cannot build" << name << error;
    const QString owned = user.home() + QLatin1Char('/') + name + QStringLiteral(".oup");
    QFile::remove(owned);
    QFile::copy(built, owned);
    ChildProcess::run({ QStringLiteral("chown"), user.name(), owned });
    return owned;
}

void tst_SealedRuns::rewrittenAfterCheck_data()
{
    QTest::addColumn<bool>("overlay");
    QTest::addColumn<bool>("otherCheck"); // bob checks between the upgrade and the post hooks

    QTest::newRow("plain file") << false << false;
    QTest::newRow("through an overlay in the user's own namespace") << true << false;
    QTest::newRow("another user's check between the upgrade and its post hooks") << false << true;
}

void tst_SealedRuns::rewrittenAfterCheck()
{
    QFETCH(bool, overlay);
    QFETCH(bool, otherCheck);
    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    QFile::remove(m_alice->home() + QStringLiteral("/post-marker"));

    PackageFixture::Package checked;
    checked.signKey = Signer;
    checked.gpgHome = m_gpgHome;
    checked.postHooks = { { QStringLiteral("10-post"), postHook(QStringLiteral("checked")) } };
    PackageFixture::Package rewritten;
    rewritten.postHooks = { { QStringLiteral("10-post"), postHook(QStringLiteral("rewritten")) } };
    const QString file = package(*m_alice, QStringLiteral("checked"), checked);
    const QString other = package(*m_alice, QStringLiteral("rewritten"), rewritten);

    QString path = file;
    ChildProcess holder;
    if (overlay) {
        // Her own overlay, seen by the daemon only through her process's root.
        const QString base = m_alice->home() + QStringLiteral("/overlay");
        QCOMPARE(ChildProcess::run(asUser(*m_alice,
                     { QStringLiteral("sh"), QStringLiteral("-c"),
                         QStringLiteral("mkdir -p \"$0\"/lower \"$0\"/upper \"$0\"/work \"$0\"/merged "
                                        "&& mv \"$1\" \"$0\"/lower/"),
                         base, file })),
            0);
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList command = asUser(*m_alice,
            { QStringLiteral("unshare"), QStringLiteral("-Urm"), QStringLiteral("sh"),
                QStringLiteral("-c"),
                QStringLiteral("mount -t overlay overlay -o lowerdir=\"$0\"/lower,"
                               "upperdir=\"$0\"/upper,workdir=\"$0\"/work \"$0\"/merged "
                               "&& echo $$ && exec sleep 600"),
                base });
        holder.start(command.first(), command.mid(1));
        QVERIFY(holder.waitForReadyRead(10000));
        const QString pid = QString::fromLatin1(holder.readLine()).trimmed();
        path = QStringLiteral("/proc/%1/root%2/merged/checked.oup").arg(pid, base);
        QVERIFY(QFileInfo::exists(path));
    }
    QCOMPARE(m_fixture->check(m_alice.get(), path), -6);
    QString output;
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("GetPackageSignature"), {}, &output), 0);
    QVERIFY2(output.contains(QStringLiteral("int32 %1").arg(int(OfflineUpdate::SignatureVerified))),
        qPrintable(output));

    const QString written = overlay ? m_alice->home() + QStringLiteral("/overlay/lower/checked.oup")
                                    : file;
    const auto rewrite = [&] {
        QCOMPARE(ChildProcess::run(asUser(*m_alice,
                     { QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("cat \"$0\" > \"$1\""),
                         other, written })),
            0);
        QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
        QVERIFY(drop.open(QIODevice::WriteOnly) && drop.write("3\n") == 2);
    };
    if (!otherCheck)
        rewrite();
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("--until-final"),
                 { QStringLiteral("BackupSystem") }, &output),
        0);
    QCOMPARE(DaemonFixture::signalsIn(output, QStringLiteral("NotifyOfflineUpgradeProgress")).last(),
        QVariantList({ 100, 1 }));
    QCOMPARE(PackageFixture::installedVersion(Probe), QStringLiteral("2.0"));
    if (otherCheck) {
        QVERIFY(m_fixture->check(m_bob.get(), package(*m_bob, QStringLiteral("bobs"), {})) < 100);
        rewrite();
    }
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("StartExecHookPost"),
                 { m_alice->home() }, &output),
        0);
    QCOMPARE(readFile(m_alice->home() + QStringLiteral("/post-marker")), QByteArray("checked\n"));
}

void tst_SealedRuns::stuckFileSystem()
{
    const QString mountPoint = m_work.filePath(QStringLiteral("stuck"));
    QVERIFY(QDir().mkpath(mountPoint));
    StuckFileSystem stuck(mountPoint);
    QVERIFY(stuck.isMounted());
    const auto call = m_fixture->startCall(m_alice.get(), QStringLiteral("StartOfflineFileCheck"),
        { m_alice->home(), mountPoint + QStringLiteral("/update.oup") });
    // While the package's reader hangs, everything else is answered.
    QTest::qWait(2000);
    QVERIFY2(call->state() == QProcess::Running, call->readAll().constData());
    const qint64 answerTime = m_fixture->getterAnswerTime();
    QVERIFY2(answerTime >= 0 && answerTime < 1000, qPrintable(QString::number(answerTime)));
    QTRY_COMPARE_WITH_TIMEOUT(call->state(), QProcess::NotRunning, 60000);
    const QString output = QString::fromUtf8(call->readAll());
    QCOMPARE(DaemonFixture::signalsIn(output, QStringLiteral("NotifyOfflineFileCheckResult")),
        QList<QVariantList>({ { 0, false } }));
    QString reason;
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("GetCheckFailureReason"), {}, &reason), 0);
    QCOMPARE(replyValues(reason).value(0), OfflineUpdate::Reason::PackageStalled);
}

void tst_SealedRuns::othersLearnNothing()
{
    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    PackageFixture::Package patch;
    patch.manifest = PackageFixture::manifest(2, QStringLiteral("CVE-2026-7777"));
    const QString file = package(*m_alice, QStringLiteral("patch"), patch);

    // Someone who never checked anything.
    TestUser frank(QStringLiteral("tevrint-frank"));
    QVERIFY(frank.isValid());
    const auto listener = m_fixture->startCall(&frank, QStringLiteral("--listen"), { "120000" });
    QVERIFY(listener->waitForReadyRead(10000));
    QCOMPARE(m_fixture->check(m_alice.get(), file), -6);

    const QStringList getters { QStringLiteral("GetUpgradeType"),
        QStringLiteral("GetPatchUpgradeSerial"), QStringLiteral("GetDistUpgradeSum"),
        QStringLiteral("GetPackageSignature"), QStringLiteral("GetCheckFailureReason") };
    QStringList hers;
    QStringList his;
    for (const QString &getter : getters) {
        QString output;
        QCOMPARE(m_fixture->call(m_alice.get(), getter, {}, &output), 0);
        hers += replyValues(output);
        QCOMPARE(m_fixture->call(&frank, getter, {}, &output), 0);
        his += replyValues(output);
    }
    QCOMPARE(hers,
        QStringList({ "2", "CVE-2026-7777", "1", QString::number(OfflineUpdate::Unsigned), "", "",
            "" }));
    QCOMPARE(his, QStringList({ "0", "", "0", "0", "", "", "" }));
    listener->kill();
    listener->waitForFinished();
    QVERIFY(DaemonFixture::signalsIn(QString::fromUtf8(listener->readAll())).isEmpty());
    PackageFixture::purge(Probe);
}

void tst_SealedRuns::foreignTreeSurvives()
{
    // A directory holding someone else's file, renamed to where an old version kept its cache.
    const QString cache = m_alice->home() + QStringLiteral("/.cache/tevrin-offline-update");
    QVERIFY(QDir().mkpath(cache));
    const QString foreign = cache + QStringLiteral("/bobs-notes");
    QFile notes(foreign);
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("keep me\n") == 8);
    notes.close();
    QCOMPARE(ChildProcess::run({ QStringLiteral("chown"), m_bob->name(), foreign }), 0);
    QVERIFY(m_fixture->check(m_alice.get(), package(*m_alice, QStringLiteral("plain"), {})) < 100);
    QCOMPARE(readFile(foreign), QByteArray("keep me\n"));
    QDir(m_alice->home() + QStringLiteral("/.cache")).removeRecursively();
}

void tst_SealedRuns::swappedHomeLink()
{
    // Dave's home lies in a directory he owns: he can put a link in its place.
    TestUser dave(QStringLiteral("tevrint-dave"));
    QVERIFY(dave.isValid());
    const QString parent = m_work.filePath(QStringLiteral("dave"));
    const QString home = parent + QStringLiteral("/home");
    const QString victim = m_work.filePath(QStringLiteral("victim"));
    QVERIFY(QDir().mkpath(victim));
    QVERIFY(QDir().mkpath(parent));
    QCOMPARE(ChildProcess::run({ QStringLiteral("chown"), dave.name(), parent }), 0);
    QCOMPARE(ChildProcess::run({ QStringLiteral("usermod"), QStringLiteral("--move-home"),
                 QStringLiteral("--home"), home, dave.name() }),
        0);
    TestUser moved(dave.name()); // the same user, as the password database now has it
    QCOMPARE(moved.home(), home);

    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    PackageFixture::Package contents;
    contents.postHooks = { { QStringLiteral("10-post"), postHook(QStringLiteral("dave")) } };
    QCOMPARE(m_fixture->check(&moved, package(moved, QStringLiteral("dave"), contents)), -6);
    QString output;
    QCOMPARE(m_fixture->call(&moved, QStringLiteral("--until-final"), { QStringLiteral("BackupSystem") },
                 &output),
        0);
    QCOMPARE(ChildProcess::run(moved.command({ QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("mv \"$0\" \"$0.real\" && ln -s \"$1\" \"$0\""), home, victim })),
        0);
    QVERIFY(m_fixture->call(&moved, QStringLiteral("StartExecHookPost"), { home }, &output) != 0);
    QVERIFY2(output.contains(QLatin1String("not run")), qPrintable(output));
    QVERIFY(!QFileInfo::exists(victim + QStringLiteral("/post-marker")));
    QFile::remove(home);
    QDir().rename(home + QStringLiteral(".real"), home);
    PackageFixture::purge(Probe);
}

void tst_SealedRuns::packageManagerRunning()
{
    const QByteArray listBefore = m_fixture->sourceList();
    ChildProcess locker;
    locker.start(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import fcntl,sys,time; f=open(sys.argv[1],'a'); "
                           "fcntl.lockf(f, fcntl.LOCK_EX); print('locked', flush=True); "
                           "time.sleep(60)"),
            QStringLiteral("/var/lib/dpkg/lock-frontend") });
    QVERIFY(locker.waitForReadyRead(10000));
    QCOMPARE(m_fixture->check(m_alice.get(), package(*m_alice, QStringLiteral("locked"), {})), 0);
    QString output;
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("GetCheckFailureReason"), {}, &output), 0);
    QCOMPARE(replyValues(output).value(0), OfflineUpdate::Reason::PackageManagerRunning);
    locker.kill();
    QCOMPARE(m_fixture->sourceList(), listBefore);
    const QString mounts = CommandOutput::run(QStringLiteral("findmnt"),
        { QStringLiteral("-N"), QString::number(m_fixture->process().processId()),
            QStringLiteral("-rno"), QStringLiteral("TARGET") });
    QVERIFY2(!mounts.contains(QStringLiteral("/run/tevrin-offline-update/%1/").arg(m_alice->uid())),
        qPrintable(mounts));
}

void tst_SealedRuns::unsignedAskedEachTime()
{
    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    PackageFixture::Package signedContents;
    signedContents.signKey = Signer;
    signedContents.gpgHome = m_gpgHome;
    // Allowed to check, but never an unsigned package without being asked for it.
    m_fixture->setAnswer(m_alice->name(), DaemonFixture::DenyUnsigned);
    QCOMPARE(m_fixture->check(m_alice.get(), package(*m_alice, QStringLiteral("signed"), signedContents)),
        -6);
    QCOMPARE(m_fixture->check(m_alice.get(), package(*m_alice, QStringLiteral("unsigned"), {})), 1);
    QString output;
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("GetCheckFailureReason"), {}, &output), 0);
    QCOMPARE(replyValues(output).value(0), OfflineUpdate::Reason::NotAuthorized);
    m_fixture->setAnswer(m_alice->name(), DaemonFixture::Allow);
    PackageFixture::purge(Probe);
}

QTEST_GUILESS_MAIN(tst_SealedRuns)
#include "tst_sealedruns.moc"
