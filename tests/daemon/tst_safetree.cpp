// Clearing a directory as root inside a user's home. Faults caught here:
// - following a symbolic link (at the top or inside) and deleting what it points at;
// - descending into a mounted file system (a user's package image, a bind mount of the same
//   disk) and deleting inside it, or reporting success while a mount is left behind;
// - opening a directory through a link.
#include "safetree.h"

#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

int run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished() ? process.exitCode() : -1;
}

} // namespace

class tst_SafeTree : public QObject
{
    Q_OBJECT

private slots:
    void removeTree_data();
    void removeTree();
    void openDirectoryRefusesLinks();
};

void tst_SafeTree::removeTree_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("complete");

    QTest::newRow("plain tree") << "plain" << true;
    QTest::newRow("the tree itself is a link") << "toplink" << true;
    QTest::newRow("a link inside") << "innerlink" << true;
    QTest::newRow("a file system mounted inside") << "mount" << false;
    QTest::newRow("a bind mount of the same disk inside") << "bind" << false;
}

void tst_SafeTree::removeTree()
{
    QFETCH(QString, layout);
    QFETCH(bool, complete);
    const bool needsMount = layout == QLatin1String("mount") || layout == QLatin1String("bind");
    if (needsMount && geteuid() != 0)
        QSKIP("needs root to mount");

    QTemporaryDir work;
    const QString outside = work.filePath(QStringLiteral("outside"));
    const QString tree = work.filePath(QStringLiteral("tree"));
    QVERIFY(QDir().mkpath(outside + QStringLiteral("/sub")));
    QVERIFY(touch(outside + QStringLiteral("/sub/precious")));

    QString mountPoint;
    if (layout == QLatin1String("toplink")) {
        QVERIFY(QFile::link(outside, tree));
    } else {
        QVERIFY(QDir().mkpath(tree + QStringLiteral("/a/b")));
        QVERIFY(touch(tree + QStringLiteral("/a/b/file")));
        QVERIFY(touch(tree + QStringLiteral("/top")));
        if (layout == QLatin1String("innerlink"))
            QVERIFY(QFile::link(outside + QStringLiteral("/sub"), tree + QStringLiteral("/a/link")));
        if (needsMount) {
            mountPoint = tree + QStringLiteral("/a/mounted");
            QVERIFY(QDir().mkpath(mountPoint));
            if (layout == QLatin1String("mount"))
                QCOMPARE(run(QStringLiteral("mount"), { QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                        QStringLiteral("none"), mountPoint }),
                         0);
            else
                QCOMPARE(run(QStringLiteral("mount"), { QStringLiteral("--bind"), outside, mountPoint }), 0);
            QVERIFY(touch(mountPoint + QStringLiteral("/inside")) || layout == QLatin1String("bind"));
        }
    }

    const FileDescriptor parent(::open(QFile::encodeName(work.path()).constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QString error;
    const bool removed = SafeTree::removeTree(parent.get(), QByteArrayLiteral("tree"), &error);
    if (!mountPoint.isEmpty()) {
        // Whatever was mounted is still there, with everything in it.
        QVERIFY(QFileInfo::exists(mountPoint + QStringLiteral("/inside"))
                || QFileInfo::exists(mountPoint + QStringLiteral("/sub/precious")));
        QCOMPARE(run(QStringLiteral("umount"), { mountPoint }), 0);
        QVERIFY(!QFileInfo::exists(tree + QStringLiteral("/top")));
        QVERIFY(!error.isEmpty());
    }
    QCOMPARE(removed, complete);
    if (complete)
        QVERIFY(!QFileInfo::exists(tree) && !QFileInfo(tree).isSymLink());
    QVERIFY(QFileInfo::exists(outside + QStringLiteral("/sub/precious")));
}

void tst_SafeTree::openDirectoryRefusesLinks()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkdir(QStringLiteral("real")));
    QVERIFY(QFile::link(work.filePath(QStringLiteral("real")), work.filePath(QStringLiteral("link"))));
    const FileDescriptor parent(::open(QFile::encodeName(work.path()).constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QVERIFY(SafeTree::openDirectory(parent.get(), QByteArrayLiteral("real")).isValid());
    QVERIFY(!SafeTree::openDirectory(parent.get(), QByteArrayLiteral("link")).isValid());
    QVERIFY(!SafeTree::makeDirectory(parent.get(), QByteArrayLiteral("link"), 0755).isValid());
}

QTEST_GUILESS_MAIN(tst_SafeTree)
#include "tst_safetree.moc"
