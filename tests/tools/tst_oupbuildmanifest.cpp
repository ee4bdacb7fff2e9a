// Runs a table of manifests through the package builder and through the daemon's manifest
// reader. Faults this catches:
// - the builder refusing a manifest the daemon reads, or accepting one the daemon reads as an
//   empty manifest (a reader of its own that drifted from the daemon's JSON rules);
// - the builder's "info" reporting a package kind, CVE id, system type or architecture other
//   than the one the daemon will act on;
// - the builder not finding the reader in the build tree.

#include "packagemanifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class tst_OupBuildManifest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builderReadsAsDaemon_data();
    void builderReadsAsDaemon();

private:
    QString tool(const char *name) const;
    int run(const QStringList &command, QByteArray *output = nullptr);

    QTemporaryDir m_work;
    QString m_deb;
};

QString tst_OupBuildManifest::tool(const char *name) const
{
    return qEnvironmentVariable("TEVRIN_SOURCE_DIR") + QStringLiteral("/tools/")
        + QLatin1String(name);
}

int tst_OupBuildManifest::run(const QStringList &command, QByteArray *output)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SOURCE_DATE_EPOCH"), QStringLiteral("1700000000"));
    process.setProcessEnvironment(environment);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode();
}

void tst_OupBuildManifest::initTestCase()
{
    for (const char *program : { "mksquashfs", "unsquashfs", "apt-ftparchive", "python3" })
        if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(program))));
    QVERIFY(m_work.isValid());
    QByteArray path;
    QCOMPARE(run({ tool("make-probe-deb"), QStringLiteral("tevrin-manifest-probe"),
                     QStringLiteral("1.0"), m_work.path() },
                 &path),
        0);
    m_deb = QString::fromLocal8Bit(path.trimmed());
}

void tst_OupBuildManifest::builderReadsAsDaemon_data()
{
    QTest::addColumn<QByteArray>("manifest");

    QTest::newRow("patch") << QByteArray(
        R"({"type": 2, "data": {"systemType": "desktop", "cveId": "CVE-1", "archs": "amd64"}})");
    QTest::newRow("system update") << QByteArray(R"({"type": 1, "data": {"archs": "arm64"}})");
    QTest::newRow("type as text") << QByteArray(R"({"type": "2", "data": {"cveId": "X"}})");
    QTest::newRow("type 2.0") << QByteArray(R"({"type": 2.0, "data": {"cveId": "X"}})");
    QTest::newRow("type 2.5") << QByteArray(R"({"type": 2.5, "data": {"cveId": "X"}})");
    QTest::newRow("type true") << QByteArray(R"({"type": true})");
    QTest::newRow("type 1e300") << QByteArray(R"({"type": 1e300})");
    QTest::newRow("type -2") << QByteArray(R"({"type": -2})");
    QTest::newRow("type twice") << QByteArray(R"({"type": 1, "type": 2, "data": {"cveId": "X"}})");
    QTest::newRow("archs as a list") << QByteArray(R"({"type": 1, "data": {"archs": ["amd64"]}})");
    QTest::newRow("data as text") << QByteArray(R"({"type": 2, "data": "amd64"})");
    QTest::newRow("cveId as a number") << QByteArray(R"({"type": 2, "data": {"cveId": 7}})");
    QTest::newRow("escaped text") << QByteArray(
        R"({"data": {"systemType": "\u00e9t\u00e9 \"x\"\t", "archs": "amd64"}})");
    QTest::newRow("UTF-8 text") << QByteArray("{\"data\": {\"systemType\": \"\xe6\xa1\x8c\"}}");
    QTest::newRow("top level a list") << QByteArray(R"([{"type": 2}])");
    QTest::newRow("empty object") << QByteArray("{}");
    QTest::newRow("top level text") << QByteArray(R"("text")");
    QTest::newRow("top level number") << QByteArray("2");
    QTest::newRow("NaN") << QByteArray(R"({"type": NaN})");
    QTest::newRow("trailing comma") << QByteArray(R"({"type": 2,})");
    QTest::newRow("text after the object") << QByteArray(R"({"type": 2} x)");
    QTest::newRow("unterminated") << QByteArray(R"({"type": 2)");
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf{\"type\": 2}");
    QTest::newRow("invalid UTF-8") << QByteArray("{\"data\": {\"systemType\": \"\xff\"}}");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("deep nesting") << QByteArray(2000, '[') + QByteArray(2000, ']');
}

void tst_OupBuildManifest::builderReadsAsDaemon()
{
    QFETCH(QByteArray, manifest);
    const PackageManifest daemon = PackageManifest::parse(manifest);

    const QString manifestPath = m_work.filePath(QStringLiteral("info.json"));
    const QString package = m_work.filePath(QStringLiteral("row.oup"));
    QFile file(manifestPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(manifest), qint64(manifest.size()));
    file.close();
    QFile::remove(package);

    const int built = run({ tool("tevrin-oup-build"), QStringLiteral("build"),
        QStringLiteral("--manifest"), manifestPath, QStringLiteral("--output"), package,
        QStringLiteral("--no-hooks"), m_deb });
    QVERIFY2(built == 0 || built == 1, qPrintable(QStringLiteral("exit status %1").arg(built)));
    QCOMPARE(built == 0, daemon.validJson);
    if (built != 0) {
        QVERIFY(!QFile::exists(package));
        return;
    }

    QByteArray report;
    QCOMPARE(run({ tool("tevrin-oup-build"), QStringLiteral("info"), QStringLiteral("--json"),
                     package },
                 &report),
        0);
    QJsonParseError error;
    const QJsonObject reading = QJsonDocument::fromJson(report, &error)
                                    .object()
                                    .value(QLatin1String("manifest"))
                                    .toObject()
                                    .value(QLatin1String("reading"))
                                    .toObject();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(reading.value(QLatin1String("type")).toInt(-1), daemon.type);
    QCOMPARE(reading.value(QLatin1String("upgradeType")).toInt(), daemon.isPatch() ? 2 : 1);
    QCOMPARE(reading.value(QLatin1String("systemType")).toString(), daemon.systemType);
    QCOMPARE(reading.value(QLatin1String("cveId")).toString(), daemon.cveId);
    QCOMPARE(reading.value(QLatin1String("archs")).toString(), daemon.archs);
}

QTEST_GUILESS_MAIN(tst_OupBuildManifest)
#include "tst_oupbuildmanifest.moc"
