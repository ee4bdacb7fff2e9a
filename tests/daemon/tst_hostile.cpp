// What a hostile package or home can do to the daemon's own pieces, driven directly. Faults
// caught here:
// - a hook's background or setsid processes outliving the hook, its time limit or a killed
//   daemon; a hook's endless output growing the daemon's memory; the home split at its blank;
// - a hook directory that is a link being listed, a link or special file inside run as a script;
// - clearing a very deep tree by recursion or a growing descriptor stack, or a huge one
//   without end; clearing that follows a symbolic link (at the top, inside, or in a directory
//   moved up to be cleared) or descends into a mounted file system (a package image, a bind
//   mount of the same disk), or reports success while a mount is left behind;
// - opening a directory through a link;
// - the package opened through /proc/self/fd/N of a file only the daemon can reach; a package
//   written to after it was opened taken for the one that was checked, a package still open
//   for writing taken at all, or its writer kept waiting for the kernel's time-out;
// - another directory accepted as the caller's home because its path leads there.
#include "calleridentity.h"
#include "childprocess.h"
#include "hookscript.h"
#include "packagecopy.h"
#include "stuckfilesystem.h"
#include "safetree.h"

#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 peakKiB()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    const QByteArray text = status.readAll();
    return text.mid(text.indexOf("VmHWM:") + 6).trimmed().split(' ').value(0).toLongLong();
}

bool processWith(const QByteArray &marker)
{
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + pid + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(marker))
            return true;
    }
    return false;
}

// The processes this test has started and not yet collected, zombies included.
QStringList childPids()
{
    QStringList pids;
    for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children("/proc/self/task/" + task + "/children");
        if (children.open(QIODevice::ReadOnly))
            pids += QString::fromLatin1(children.readAll()).split(' ', Qt::SkipEmptyParts);
    }
    return pids;
}

FileDescriptor openPath(const QString &path, int flags = O_RDONLY | O_DIRECTORY)
{
    return FileDescriptor(::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC));
}

bool write(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// The test program run again as a small daemon: its own peak memory is what is measured, and
// it can be killed without taking the test down. Prints "<success> <peak KiB> <text>".
int childMain(const QStringList &arguments)
{
    if (arguments.value(1) == "--remove-tree") {
        QString error;
        const bool removed = SafeTree::removeTree(
            openPath(arguments.value(2)).get(), QFile::encodeName(arguments.value(3)), &error);
        printf("%d %lld %s\n", removed, peakKiB(), qPrintable(error));
        return 0;
    }
    HookRun run("/bin/bash", 60000);
    QObject::connect(&run, &HookRun::finished, [](const HookRun::Result &result) {
        printf("%d %lld %s\n",
            result.finished && result.outputTail.size() <= HookRun::OutputTailBytes, peakKiB(),
            qPrintable(result.lastLine));
        QCoreApplication::quit();
    });
    run.start(arguments.value(2), arguments.value(3), "/root");
    return QCoreApplication::exec();
}

} // namespace

class tst_Hostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hookContainment_data();
    void hookContainment();
    void hookOutlivesDaemon();
    void hookDirectory_data();
    void hookDirectory();
    void peakMemory_data();
    void peakMemory();
    void packageCopy_data();
    void packageCopy();
    void homeSpelling_data();
    void homeSpelling();
    void removeTree_data();
    void removeTree();
    void openDirectoryRefusesLinks();

private:
    QTemporaryDir m_work;
};

void tst_Hostile::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root for namespaces, mounts and changing identity");
}

void tst_Hostile::hookContainment_data()
{
    QTest::addColumn<QByteArray>("script"); // $M: a marker only its processes carry
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<int>("exitCode"); // -1: not finished

    QTest::newRow("background job, home whole")
        << QByteArray("sleep $M &\n[ $# = 1 ] && [ -d \"$1\" ] && exit 3") << 30000 << 3;
    QTest::newRow("setsid child") << QByteArray("setsid sleep $M &") << 30000 << 0;
    QTest::newRow("killed at the limit") << QByteArray("setsid sleep $M &\nsleep 1$M") << 500 << -1;
}

void tst_Hostile::hookContainment()
{
    QFETCH(QByteArray, script);
    QFETCH(int, limitMs);
    const QByteArray marker = QByteArray::number(3000 + QTest::currentDataTag()[0]) + '.'
        + QByteArray::number(QCoreApplication::applicationPid());
    QVERIFY(write(m_work.filePath("hook"), script.replace("$M", marker)));

    QVERIFY(QDir(m_work.path()).mkpath("my home"));

    HookRun run("/bin/bash", limitMs);
    QSignalSpy finished(&run, &HookRun::finished);
    run.start(m_work.path(), "hook", m_work.filePath("my home"));
    QVERIFY(finished.wait(10000));
    const auto result = finished.at(0).at(0).value<HookRun::Result>();
    QTEST(result.exitCode, "exitCode");
    QCOMPARE(result.finished, result.exitCode >= 0);
    QVERIFY(!result.ended.isEmpty());
    QVERIFY(!processWith(marker));
}

void tst_Hostile::hookOutlivesDaemon()
{
    const QByteArray marker = "3100." + QByteArray::number(QCoreApplication::applicationPid());
    QVERIFY(write(m_work.filePath("long"), "setsid sleep " + marker + " &\nsleep 20"));
    ChildProcess daemon;
    daemon.start(QCoreApplication::applicationFilePath(), { "--run-hook", m_work.path(), "long" });
    QTRY_VERIFY_WITH_TIMEOUT(processWith(marker), 10000);
    ::kill(pid_t(daemon.processId()), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(!processWith(marker), 5000); // left alive, it sleeps an hour
}

void tst_Hostile::hookDirectory_data()
{
    QTest::addColumn<QString>("prehook"); // what "prehook" is
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QStringList>("scripts");

    QTest::newRow("a link to a directory") << "link" << true << QStringList();
    QTest::newRow("missing") << "" << false << QStringList();
    QTest::newRow("by name, case ignored")
        << "dir" << false << QStringList { ".hidden", "a", "B", "sub" };
}

void tst_Hostile::hookDirectory()
{
    QFETCH(QString, prehook);
    QTemporaryDir hooks;
    const QString real = hooks.filePath("real");
    const QString target = hooks.filePath("prehook");
    QVERIFY(QDir(hooks.path()).mkpath("real/sub"));
    for (const char *name : { "/B", "/a", "/.hidden" })
        QVERIFY(write(real + name, "exit 0"));
    QVERIFY(QFile::link(real + "/a", real + "/link"));
    QCOMPARE(mkfifo(QFile::encodeName(real + "/fifo").constData(), 0600), 0);
    if (prehook == "link")
        QVERIFY(QFile::link(real, target));
    else if (prehook == "dir")
        QVERIFY(QFile::rename(real, target));

    bool refused = false;
    QTEST(HookScript::entries(
              openPath(hooks.path()).get(), "prehook", HookScript::NameOrder, &refused),
        "scripts");
    QTEST(refused, "refused");
}

void tst_Hostile::peakMemory_data()
{
    QTest::addColumn<QString>("work"); // "chatty" a hook, "deep" or "wide" a tree
    QTest::addColumn<qint64>("limitKiB");
    QTest::addColumn<QByteArray>("success");

    QTest::newRow("a hook writing a 100 MB line") << "chatty" << 50 * 1024LL << QByteArray("1");
    QTest::newRow("a tree 100000 levels deep") << "deep" << 30 * 1024LL << QByteArray("1");
    QTest::newRow("a tree past the entry limit") << "wide" << 30 * 1024LL << QByteArray("0");
}

void tst_Hostile::peakMemory()
{
    QFETCH(QString, work);
    QFETCH(qint64, limitKiB);
    QFETCH(QByteArray, success);
    // On tmpfs where there is one: a disk takes half a minute for this many directories.
    QTemporaryDir dir((QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath()) + "/tst-XXXXXX");
    QVERIFY(QDir(dir.path()).mkpath("tree") && write(dir.filePath("tree/f"), "x"));
    QVERIFY(write(dir.filePath("chatty"),
        "head -c 100000000 /dev/zero | tr '\\0' x\necho\necho last words >&2\n"));
    FileDescriptor level = openPath(dir.filePath("tree"));
    for (int n = 0; work == "deep" && n < 100000 && level.isValid(); ++n) {
        mkdirat(level.get(), "d", 0755);
        level.reset(openat(level.get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    for (int n = 0; work == "wide" && n < SafeTree::MaximumEntries; ++n)
        QVERIFY(linkat(level.get(), "f", level.get(), QByteArray::number(n).constData(), 0) == 0);
    QVERIFY(level.isValid());
    level.reset();

    QByteArray output;
    const QString mode = work == "chatty" ? "--run-hook" : "--remove-tree";
    QCOMPARE(ChildProcess::run({ QCoreApplication::applicationFilePath(), mode, dir.path(),
                                   work == "chatty" ? work : "tree" },
                 &output, 300000),
        0);
    const QList<QByteArray> fields = output.split(' ');
    QVERIFY2(fields.value(0) == success && fields.value(1).toLongLong() < limitKiB, output);
    if (work == "chatty")
        QCOMPARE(output.mid(output.indexOf(' ', 2) + 1).trimmed(), QByteArray("last words"));
    else
        QCOMPARE(QFileInfo::exists(dir.filePath("tree")), success == "0");
}

void tst_Hostile::packageCopy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<int>("outcome");

    QTest::newRow("readable file, rewritten after the copy")
        << "plain" << true << int(PackageCopy::Copied);
    QTest::newRow("missing") << "missing" << false << int(PackageCopy::Missing);
    QTest::newRow("FIFO, never waited for") << "fifo" << false << int(PackageCopy::Refused);
    // The reader keeps none of the daemon's descriptors: the number names nothing there.
    QTest::newRow("a file only the daemon's descriptor reaches")
        << "descriptor" << true << int(PackageCopy::Missing);
    QTest::newRow("still open for writing") << "writing" << false << int(PackageCopy::BeingWritten);
    QTest::newRow("on a file system that never answers")
        << "stuck" << false << int(PackageCopy::Stalled);
    QTest::newRow("no room for it") << "noroom" << false << -1;
}

// The private copy is what the whole run reads: it must hold exactly what the caller could
// read when it was made, and no later change. Faults caught: the daemon's own descriptors
// reachable through the caller's path; a file still being written taken; a file system that
// does not answer stalling the daemon (the event loop must keep turning while the reader
// hangs, and the reader must go); a refusal for space leaving the reader behind.
void tst_Hostile::packageCopy()
{
    QFETCH(QString, kind);
    QFETCH(bool, asNobody);
    QFETCH(int, outcome);

    QTemporaryDir copies;
    QVERIFY(chmod(QFile::encodeName(copies.path()).constData(), 0700) == 0);
    const FileDescriptor copyDirectory = openPath(copies.path());
    // A file anyone may read, in a directory anyone may enter.
    QTemporaryDir open;
    QVERIFY(chmod(QFile::encodeName(open.path()).constData(), 0755) == 0);
    QString package = open.filePath("update.oup");
    const QByteArray content = QByteArray(3 * 1024 * 1024 + 7, 'p');
    QVERIFY(write(package, content));
    QVERIFY(QFile::setPermissions(package, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    FileDescriptor closedFile;
    QTemporaryDir closed;
    ChildProcess writer;
    std::unique_ptr<StuckFileSystem> stuck;
    if (kind == "missing") {
        package = open.filePath("missing.oup");
    } else if (kind == "fifo") {
        package = open.filePath("fifo.oup");
        QCOMPARE(mkfifo(QFile::encodeName(package).constData(), 0644), 0);
    } else if (kind == "descriptor") {
        // In a directory only root may enter: only a descriptor the daemon holds leads there.
        QVERIFY(write(closed.filePath("secret.oup"), "secret"));
        closedFile = openPath(closed.filePath("secret.oup"), O_RDONLY);
        package = "/proc/self/fd/" + QString::number(closedFile.get());
    } else if (kind == "writing") {
        writer.start("sh", { "-c", "exec 3>>\"$0\"; sleep 30", package });
        QTRY_COMPARE(
            QFileInfo(QStringLiteral("/proc/%1/fd/3").arg(writer.processId())).symLinkTarget(),
            package);
    } else if (kind == "stuck") {
        QVERIFY(QDir(open.path()).mkdir("stuck"));
        stuck = std::make_unique<StuckFileSystem>(open.filePath("stuck"));
        QVERIFY(stuck->isMounted());
        package = open.filePath("stuck/update.oup");
    }

    CallerIdentity caller = CallerIdentity::root();
    if (asNobody) {
        caller.uid = caller.gid = 65534;
        caller.home = "/nonexistent";
    }
    PackageCopy copy;
    bool done = false;
    bool asked = false;
    PackageCopy::Result result;
    copy.start(
        caller, package, copyDirectory.get(), 1000,
        [&](qint64 size, std::function<void(bool)> proceed) {
            asked = true;
            QCOMPARE(size, qint64(content.size()));
            proceed(kind != "noroom");
        },
        [&](const PackageCopy::Result &r) {
            result = r;
            done = true;
        });
    int turns = 0;
    QTimer turning;
    connect(&turning, &QTimer::timeout, [&] { ++turns; });
    turning.start(50);
    if (outcome < 0) {
        // Refused for room: no result, and the reader is gone.
        QTRY_VERIFY(asked);
        QTRY_VERIFY(childPids().isEmpty());
        QVERIFY(!done);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
    QCOMPARE(int(result.outcome), outcome);
    // The reader is gone, a stuck one killed, and none left as a zombie.
    writer.stop();
    QTRY_VERIFY(childPids().isEmpty());
    if (kind == "stuck")
        QVERIFY2(turns >= 10, qPrintable(QString::number(turns)));
    if (outcome != PackageCopy::Copied)
        return;

    // Rewritten after the copy: the copy still holds what was read, and says so by its hash.
    QVERIFY(write(package, "rewritten"));
    const FileDescriptor held = copy.takeCopy();
    QVERIFY(held.isValid());
    QFile reread;
    QVERIFY(reread.open(held.get(), QIODevice::ReadOnly));
    reread.seek(0);
    QCOMPARE(reread.readAll(), content);
    QCOMPARE(result.sha256, QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
    struct stat status = {};
    QVERIFY(fstat(held.get(), &status) == 0);
    QCOMPARE(status.st_uid, uid_t(0));
    QCOMPARE(status.st_mode & 0077, mode_t(0));
    QVERIFY(QDir(copies.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

void tst_Hostile::homeSpelling_data()
{
    QTest::addColumn<uint>("uid");
    QTest::addColumn<QString>("named"); // below the work directory
    QTest::addColumn<bool>("accepted");

    QTest::newRow("the home itself") << 65534u << "home/alice/" << true;
    QTest::newRow("link/.. into root's directory") << 65534u << "home/alice/link/.." << false;
    QTest::newRow("a link to the home") << 65534u << "alias" << false;
    QTest::newRow("another directory") << 65534u << "rootdir" << false;
    QTest::newRow("root names any directory") << 0u << "rootdir" << true;
}

void tst_Hostile::homeSpelling()
{
    QFETCH(uint, uid);
    QFETCH(QString, named);
    const QDir work(m_work.path());
    QVERIFY(work.mkpath("home/alice") && work.mkpath("rootdir/inner"));
    QFile::link(work.filePath("rootdir/inner"), work.filePath("home/alice/link"));
    QFile::link(work.filePath("home/alice"), work.filePath("alias"));
    CallerIdentity caller;
    caller.uid = uid;
    caller.home = work.filePath("home/alice");
    QString refusal;
    const bool opened = caller.openHome(work.filePath(named), &refusal).isValid();
    QTEST(opened, "accepted");
    QCOMPARE(refusal.isEmpty(), opened);
}

void tst_Hostile::removeTree_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("mount"); // mount's options and source, $W the work directory

    QTest::newRow("the tree itself is a link") << "toplink" << QStringList();
    QTest::newRow("a link inside") << "innerlink" << QStringList();
    QTest::newRow("a file system mounted inside")
        << "mount" << QStringList { "-t", "tmpfs", "none" };
    QTest::newRow("a bind mount of the same disk inside")
        << "mount" << QStringList { "--bind", "$W/outside" };
}

void tst_Hostile::removeTree()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, mount);
    QTemporaryDir work;
    const QString outside = work.filePath("outside");
    const QString tree = work.filePath("tree");
    const QString mountPoint = tree + "/a/mounted";
    QVERIFY(QDir().mkpath(outside + "/sub") && write(outside + "/sub/precious", "x"));
    if (layout == "toplink")
        QVERIFY(QFile::link(outside, tree));
    else
        QVERIFY(QDir().mkpath(tree + "/a/b/c") && write(tree + "/a/b/c/file", "x")
            && write(tree + "/top", "x"));
    // Deep enough that its directory is moved up before it is cleared.
    if (layout == "innerlink")
        QVERIFY(QFile::link(outside + "/sub", tree + "/a/b/link"));
    if (!mount.isEmpty()) {
        QVERIFY(QDir().mkpath(mountPoint));
        mount.replaceInStrings("$W", work.path());
        QCOMPARE(ChildProcess::run(QStringList { "mount" } + mount << mountPoint), 0);
        QVERIFY(write(mountPoint + "/inside", "x"));
    }

    QString error;
    const bool removed = SafeTree::removeTree(openPath(work.path()).get(), "tree", &error);
    QVERIFY(QFileInfo::exists(outside + "/sub/precious"));
    if (mount.isEmpty()) {
        QVERIFY(removed);
        QVERIFY(!QFileInfo::exists(tree) && !QFileInfo(tree).isSymLink());
        return;
    }
    // Whatever was mounted is still there, with everything in it; the rest is gone.
    QVERIFY(!removed && !error.isEmpty());
    QVERIFY(QFileInfo::exists(mountPoint + "/inside"));
    QCOMPARE(ChildProcess::run({ "umount", mountPoint }), 0);
    QVERIFY(!QFileInfo::exists(tree + "/top") && !QFileInfo::exists(tree + "/a/b"));
}

void tst_Hostile::openDirectoryRefusesLinks()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkdir("real")
        && QFile::link(work.filePath("real"), work.filePath("link")));
    const FileDescriptor parent = openPath(work.path());
    QVERIFY(SafeTree::openDirectory(parent.get(), "real").isValid());
    QVERIFY(!SafeTree::openDirectory(parent.get(), "link").isValid());
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = app.arguments().value(1);
    if (mode == "--run-hook" || mode == "--remove-tree")
        return childMain(app.arguments());
    tst_Hostile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostile.moc"
