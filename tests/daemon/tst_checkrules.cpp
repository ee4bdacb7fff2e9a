// The pure rules of the check, without a bus, a mount or a child process. Faults caught here:
// - sizes read as 32-bit numbers, so that a disk with more than 2 TiB free reads as empty;
// - the strict and non-strict comparisons of the two space checks swapped or off by one;
// - df output with too few lines or fields read past its end;
// - manifest fields read with the wrong fallback (a "type" string taken as a number, an
//   array of architectures taken as text);
// - the architecture table's oddities (i386 takes amd64) or case rules lost;
// - the private source list losing the administrator's lines, keeping stale text after a
//   shorter line, keeping the first user's repository forever or two lines of ours;
// - a package's directory name (a line break, a blank, "..") or a keyring path breaking the
//   source line apart and adding a line of its own.
#include "aptsource.h"
#include "architecturetable.h"
#include "diskspace.h"
#include "packagemanifest.h"

#include <QtTest>

class tst_CheckRules : public QObject
{
    Q_OBJECT

private slots:
    void dfField_data();
    void dfField();
    void spaceFits_data();
    void spaceFits();
    void manifest_data();
    void manifest();
    void architecture_data();
    void architecture();
    void sourceLine_data();
    void sourceLine();
    void pointAt_data();
    void pointAt();
};

void tst_CheckRules::dfField_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("field");
    QTest::addColumn<qint64>("kib"); // 0: no field, or not a number

    const QString table = QStringLiteral("Filesystem 1K-blocks Used Available Use% Mounted on\n"
                                         "/dev/vda 264212084 16583632 83753556 17% /");
    const int free = DiskSpace::AvailableField;
    QTest::newRow("available") << table << free << qint64(83753556);
    QTest::newRow("header only") << "Filesystem 1K-blocks Used Available" << free << qint64(0);
    QTest::newRow("short row") << "h\n/dev/vda 100 50" << free << qint64(0);
    QTest::newRow("8 TiB") << "h\n/dev/md0 9 1 8589934592 1% /home" << free << qint64(8589934592LL);
    QTest::newRow("not a number") << "h\n/dev/md0 1 1 12G 1% /" << free << qint64(0);
}

void tst_CheckRules::dfField()
{
    QFETCH(QString, output);
    QFETCH(int, field);
    QTEST(DiskSpace::parseKiB(DiskSpace::dfField(output, field)), "kib");
}

void tst_CheckRules::spaceFits_data()
{
    QTest::addColumn<bool>("backup"); // else the package's own room: bytes against free KiB
    QTest::addColumn<qint64>("first"); // package bytes, or free KiB for the backup
    QTest::addColumn<qint64>("second"); // free KiB, or used KiB for the backup
    QTest::addColumn<bool>("fits");

    const qint64 MiB = 1048576;
    QTest::newRow("package: exactly 2 + 10240 MiB free") << false << MiB << 10242 * 1024LL << false;
    QTest::newRow("package: one MiB more") << false << MiB << 10243 * 1024LL << true;
    QTest::newRow("package: 3 TiB free") << false << 100 * MiB << (3LL << 30) << true;
    QTest::newRow("backup: equal passes") << true << 16583632 + 10485760LL << 16583632LL << true;
    QTest::newRow("backup: one KiB less") << true << 16583632 + 10485759LL << 16583632LL << false;
    QTest::newRow("backup: unreadable free space") << true << 0LL << 0LL << false;
    QTest::newRow("backup: used near the 64-bit limit")
        << true << 20000000LL << std::numeric_limits<qint64>::max() << false;
}

void tst_CheckRules::spaceFits()
{
    QFETCH(bool, backup);
    QFETCH(qint64, first);
    QFETCH(qint64, second);
    QTEST(backup ? DiskSpace::backupFits(first, second) : DiskSpace::packageFits(first, second),
        "fits");
}

void tst_CheckRules::manifest_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("validJson");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("cveId");
    QTest::addColumn<QString>("archs");

    const QString none;
    QTest::newRow("patch package") << QByteArray(R"({"type":2,"data":{"cveId":"C","archs":"a"}})")
                                   << true << 2 << QStringLiteral("C") << "a";
    QTest::newRow("type as a string is no type")
        << QByteArray(R"({"type":"2","data":{"cveId":"C"}})") << true << 0 << "C" << none;
    QTest::newRow("archs as an array")
        << QByteArray(R"({"type":1,"data":{"archs":["a"]}})") << true << 1 << none << none;
    QTest::newRow("top level array") << QByteArray(R"([{"type":2}])") << true << 0 << none << none;
    QTest::newRow("not JSON") << QByteArray("type=2") << false << 0 << none << none;
}

void tst_CheckRules::manifest()
{
    QFETCH(QByteArray, json);
    const PackageManifest manifest = PackageManifest::parse(json);
    QTEST(manifest.validJson, "validJson");
    QTEST(manifest.type, "type");
    QTEST(manifest.cveId, "cveId");
    QTEST(manifest.archs, "archs");
}

void tst_CheckRules::architecture_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("package");
    QTest::addColumn<bool>("fits");

    QTest::newRow("x86_64 amd64") << "x86_64" << QStringLiteral("amd64") << true;
    QTest::newRow("capitals on the package side") << "x86_64" << QStringLiteral("AMD64") << true;
    QTest::newRow("i386 takes amd64") << "i386" << QStringLiteral("amd64") << true;
    QTest::newRow("a list is compared whole") << "x86_64" << QStringLiteral("amd64,arm64") << false;
}

void tst_CheckRules::architecture()
{
    QFETCH(QString, machine);
    QFETCH(QString, package);
    QTEST(ArchitectureTable::fits(machine, package), "fits");
}

void tst_CheckRules::sourceLine_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QStringList>("components");
    QTest::addColumn<QString>("signedBy");
    QTest::addColumn<QString>("line"); // empty: refused

    QTest::newRow("blank in the path, components in order")
        << "/run/a b/1000/repo" << QStringList { "contrib", "main" } << ""
        << "deb [trusted=yes] file:///run/a%20b/1000/repo/ torak contrib main";
    QTest::newRow("keyring")
        << "/run/t/0/repo/" << QStringList { "non-free+1.x" } << "/etc/k.gpg"
        << "deb [signed-by=/etc/k.gpg] file:///run/t/0/repo/ torak non-free+1.x";
    const QString none;
    QTest::newRow("line break in a component")
        << "/r/1/repo" << QStringList { "main\ndeb http://evil.example/ x main" } << none << none;
    QTest::newRow("blank in a component") << "/r/1/repo" << QStringList { "a b" } << none << none;
    QTest::newRow("parent directory as component")
        << "/r/1/repo" << QStringList { ".." } << none << none;
    QTest::newRow("keyring path that ends the options")
        << "/r/1/repo" << QStringList { "main" } << "/k] deb" << none;
}

void tst_CheckRules::sourceLine()
{
    QFETCH(QString, directory);
    QFETCH(QStringList, components);
    QFETCH(QString, signedBy);
    QTEST(AptSource::sourceLine(AptSource::repositoryUri(directory), components, signedBy), "line");
}

void tst_CheckRules::pointAt_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("replaced");

    const QString placeholder = AptSource::placeholderLine();
    const QString ours
        = AptSource::sourceLine(AptSource::repositoryUri("/run/t/0/repo"), { "main" });
    const QString earlier
        = "deb [trusted=yes] file:///home/a%20b/.cache/tevrin-offline-update/repo/ torak main "
          "extra";
    const QString otherUser = AptSource::sourceLine(
        AptSource::repositoryUri("/run/t/1000/repo"), { "main" }, "/etc/k.gpg");
    const QString admin = QStringLiteral("deb http://mirror.example/debian bookworm main");

    QTest::newRow("placeholder, shorter line") << placeholder + "\n" << ours << ours + "\n" << true;
    QTest::newRow("an earlier version's line") << earlier << ours << ours << true;
    QTest::newRow("another user's signed line") << otherUser << ours << ours << true;
    QTest::newRow("administrator's lines stay, ours only once")
        << "# local\n" + admin + "\n" + placeholder + "\n" + admin + "\n" + otherUser << ours
        << "# local\n" + admin + "\n" + ours + "\n" + admin << true;
    QTest::newRow("no line of ours") << admin + "\n" << ours << admin + "\n" << false;
    QTest::newRow("commented-out line of ours is the administrator's")
        << "# " + placeholder << ours << "# " + placeholder << false;
    QTest::newRow("a line with a line break changes nothing")
        << placeholder << ours + "\ndeb http://evil.example/ x main" << placeholder << false;
}

void tst_CheckRules::pointAt()
{
    QFETCH(QString, list);
    QFETCH(QString, line);
    QFETCH(bool, replaced);
    bool any = !replaced;
    QTEST(AptSource::pointAt(list, line, &any), "expected");
    QCOMPARE(any, replaced);
}

QTEST_GUILESS_MAIN(tst_CheckRules)
#include "tst_checkrules.moc"
