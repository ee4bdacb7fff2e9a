// Clearing a directory as root inside a user's home. Faults caught here:
// - following a symbolic link (at the top, inside, or in a directory moved up to be cleared)
//   and deleting what it points at;
// - descending into a mounted file system (a user's package image, a bind mount of the same
//   disk) and deleting inside it, or reporting success while a mount is left behind;
// - opening or making a directory through a link.
#include "childprocess.h"
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

FileDescriptor openDirectory(const QString &path)
{
    return FileDescriptor(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
    QTest::addColumn<QStringList>("mount"); // mount's options and source, $W the work directory

    QTest::newRow("plain tree") << "plain" << QStringList();
    QTest::newRow("the tree itself is a link") << "toplink" << QStringList();
    QTest::newRow("a link inside") << "innerlink" << QStringList();
    QTest::newRow("a file system mounted inside")
        << "mount" << QStringList { "-t", "tmpfs", "none" };
    QTest::newRow("a bind mount of the same disk inside")
        << "mount" << QStringList { "--bind", "$W/outside" };
}

void tst_SafeTree::removeTree()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, mount);
    if (!mount.isEmpty() && geteuid() != 0)
        QSKIP("needs root to mount");

    QTemporaryDir work;
    const QString outside = work.filePath("outside");
    const QString tree = work.filePath("tree");
    const QString mountPoint = tree + "/a/mounted";
    QVERIFY(QDir().mkpath(outside + "/sub") && touch(outside + "/sub/precious"));
    if (layout == "toplink")
        QVERIFY(QFile::link(outside, tree));
    else
        QVERIFY(
            QDir().mkpath(tree + "/a/b/c") && touch(tree + "/a/b/c/file") && touch(tree + "/top"));
    // Deep enough that its directory is moved up before it is cleared.
    if (layout == "innerlink")
        QVERIFY(QFile::link(outside + "/sub", tree + "/a/b/link"));
    if (!mount.isEmpty()) {
        QVERIFY(QDir().mkpath(mountPoint));
        mount.replaceInStrings("$W", work.path());
        QCOMPARE(ChildProcess::run(QStringList { "mount" } + mount << mountPoint), 0);
        QVERIFY(touch(mountPoint + "/inside"));
    }

    QString error;
    const bool removed = SafeTree::removeTree(openDirectory(work.path()).get(), "tree", &error);
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

void tst_SafeTree::openDirectoryRefusesLinks()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkdir("real")
        && QFile::link(work.filePath("real"), work.filePath("link")));
    const FileDescriptor parent = openDirectory(work.path());
    QVERIFY(SafeTree::openDirectory(parent.get(), "real").isValid());
    QVERIFY(!SafeTree::openDirectory(parent.get(), "link").isValid());
    QVERIFY(!SafeTree::makeDirectory(parent.get(), "link", 0755).isValid());
}

QTEST_GUILESS_MAIN(tst_SafeTree)
#include "tst_safetree.moc"
