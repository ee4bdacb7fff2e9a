// Turning the tool's command line into package and image paths. Faults this test catches:
// - the program's own path skipped, or processing stopping after the first match;
// - a suffix test instead of a substring search (".oup" inside a name), or a case-insensitive one;
// - an image taking precedence over a package in a path that names both;
// - the file-type message shown for a single stray argument, or more than once, or when some
//   argument was recognised;
// - relative names not made absolute, file URLs not turned into local paths, network URLs
//   passed on as if they were files;
// - an editor-style ":line:column" suffix kept on a missing file, or cut off a file that exists
//   under that very name.
#include "argumentdispatcher.h"
#include "urlinfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class tst_ArgumentDispatcher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void urlInfo_data();
    void urlInfo();
    void dispatch_data();
    void dispatch();

private:
    QString inWork(const QString &name) const { return QDir(m_work.path()).filePath(name); }

    QTemporaryDir m_work;
    QString m_previousDir;
};

void tst_ArgumentDispatcher::initTestCase()
{
    QVERIFY(m_work.isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_work.path()));
    for (const char *name : { "present.oup", "notes.oup:12" }) {
        QFile file(inWork(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
}

void tst_ArgumentDispatcher::cleanupTestCase()
{
    QDir::setCurrent(m_previousDir);
}

void tst_ArgumentDispatcher::urlInfo_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("scheme");
    // Relative to the working directory when it does not start with a slash.
    QTest::addColumn<QString>("localPath");

    QTest::newRow("existing relative file") << "present.oup"
                                            << "file"
                                            << "present.oup";
    QTest::newRow("existing file named like a position") << "notes.oup:12"
                                                         << "file"
                                                         << "notes.oup:12";
    QTest::newRow("missing file, line and column") << "missing.oup:10:2"
                                                   << "file"
                                                   << "missing.oup";
    QTest::newRow("missing file, line only") << "missing.oup:7"
                                             << "file"
                                             << "missing.oup";
    QTest::newRow("missing file, trailing colon") << "missing.oup:10:2:"
                                                  << "file"
                                                  << "missing.oup";
    QTest::newRow("missing file in a subdirectory") << "sub/pkg.oup"
                                                    << "file"
                                                    << "sub/pkg.oup";
    QTest::newRow("absolute missing path") << "/nonexistent/dir/x.oup"
                                           << "file"
                                           << "/nonexistent/dir/x.oup";
    QTest::newRow("file URL") << "file:///tmp/x.iso"
                              << "file"
                              << "/tmp/x.iso";
    QTest::newRow("network URL") << "http://example.com/update.oup"
                                 << "http"
                                 << "";
}

void tst_ArgumentDispatcher::urlInfo()
{
    QFETCH(QString, argument);
    QFETCH(QString, scheme);
    QFETCH(QString, localPath);

    const QUrl url = UrlInfo(argument);
    QVERIFY2(url.isValid(), qPrintable(url.errorString()));
    QCOMPARE(url.scheme(), scheme);
    const QString expected = localPath.isEmpty() || localPath.startsWith(QLatin1Char('/'))
        ? localPath
        : inWork(localPath);
    QCOMPARE(url.toLocalFile(), expected);
}

void tst_ArgumentDispatcher::dispatch_data()
{
    QTest::addColumn<QStringList>("arguments");
    // "oup:<path>", "iso:<path>" or "error", in call order; relative paths are under the
    // working directory.
    QTest::addColumn<QStringList>("calls");

    const QString program = QStringLiteral("/usr/bin/tevrin-offline-update-tool");
    QTest::newRow("no arguments") << QStringList { program } << QStringList {};
    QTest::newRow("one stray argument") << QStringList { program, "a.txt" } << QStringList {};
    QTest::newRow("two stray arguments")
        << QStringList { program, "a.txt", "b.txt" } << QStringList { "error" };
    QTest::newRow("upper-case suffix") << QStringList { program, "update.OUP" } << QStringList {};
    QTest::newRow("upper-case suffix among strays")
        << QStringList { program, "update.OUP", "x.ISO" } << QStringList { "error" };
    QTest::newRow("suffix inside the name")
        << QStringList { program, "/data/my.oup.old" } << QStringList { "oup:/data/my.oup.old" };
    QTest::newRow("image marker before package marker")
        << QStringList { program, "/tmp/disk.iso.oup" } << QStringList { "oup:/tmp/disk.iso.oup" };
    QTest::newRow("package marker before image marker")
        << QStringList { program, "/tmp/disk.oup.iso" } << QStringList { "oup:/tmp/disk.oup.iso" };
    QTest::newRow("two packages in order")
        << QStringList { program, "a.oup", "b.oup" } << QStringList { "oup:a.oup", "oup:b.oup" };
    QTest::newRow("image then package")
        << QStringList { program, "c.iso", "d.oup" } << QStringList { "iso:c.iso", "oup:d.oup" };
    QTest::newRow("package among strays")
        << QStringList { program, "a.txt", "b.oup", "c.txt" } << QStringList { "oup:b.oup" };
    QTest::newRow("image file URL")
        << QStringList { program, "file:///tmp/x.iso" } << QStringList { "iso:/tmp/x.iso" };
    QTest::newRow("network URL") << QStringList { program, "http://example.com/update.oup" }
                                 << QStringList {};
    QTest::newRow("network URL among strays")
        << QStringList { program, "http://example.com/update.oup", "c.txt" }
        << QStringList { "error" };
    QTest::newRow("position suffix on a missing package")
        << QStringList { program, "missing.oup:10:2" } << QStringList { "oup:missing.oup" };
    QTest::newRow("program path itself") << QStringList { "/opt/tools.oup/bin/tool" }
                                         << QStringList { "oup:/opt/tools.oup/bin/tool" };
}

void tst_ArgumentDispatcher::dispatch()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, calls);

    for (QString &call : calls) {
        const int colon = call.indexOf(QLatin1Char(':'));
        if (colon > 0 && call.at(colon + 1) != QLatin1Char('/'))
            call = call.left(colon + 1) + inWork(call.mid(colon + 1));
    }

    QStringList seen;
    const ArgumentDispatcher dispatcher(
        [&seen](const QString &path) { seen << QStringLiteral("oup:") + path; },
        [&seen](const QString &path) { seen << QStringLiteral("iso:") + path; },
        [&seen] { seen << QStringLiteral("error"); });
    dispatcher.dispatch(arguments);
    QCOMPARE(seen, calls);
}

QTEST_GUILESS_MAIN(tst_ArgumentDispatcher)
#include "tst_argumentdispatcher.moc"
