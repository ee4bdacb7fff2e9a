// The pure rules of the check, without a bus, a mount or a child process. Faults caught here:
// - sizes read as 32-bit numbers, so that a disk with more than 2 TiB free reads as empty;
// - the strict and non-strict comparisons of the two space checks swapped or off by one;
// - df output with too few lines or fields read past its end;
// - manifest fields read with the wrong fallback (a "type" string taken as a number, an
//   array of architectures taken as text);
// - the architecture table's oddities (i386 takes amd64) or case rules lost;
// - the private source list losing the administrator's lines, keeping stale text after a
//   shorter line, or keeping the first user's repository forever.
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
    void parseKiB_data();
    void parseKiB();
    void packageFits_data();
    void packageFits();
    void backupFits_data();
    void backupFits();
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
    QTest::addColumn<QString>("expected");

    const QString table = QStringLiteral(
        "Filesystem     1K-blocks     Used Available Use% Mounted on\n"
        "/dev/vda       264212084 16583632  83753556  17% /");
    QTest::newRow("available") << table << int(DiskSpace::AvailableField) << "83753556";
    QTest::newRow("used") << table << int(DiskSpace::UsedField) << "16583632";
    QTest::newRow("header only") << QStringLiteral("Filesystem 1K-blocks Used Available")
                                 << int(DiskSpace::AvailableField) << QString();
    QTest::newRow("empty output") << QString() << int(DiskSpace::AvailableField) << QString();
    QTest::newRow("short row") << QStringLiteral("Filesystem\n/dev/vda 100 50")
                               << int(DiskSpace::AvailableField) << QString();
    QTest::newRow("more than 2 TiB")
        << QStringLiteral("h\n/dev/md0 9000000000 1 8589934592 1% /home")
        << int(DiskSpace::AvailableField) << "8589934592";
}

void tst_CheckRules::dfField()
{
    QFETCH(QString, output);
    QFETCH(int, field);
    QFETCH(QString, expected);
    QCOMPARE(DiskSpace::dfField(output, field), expected);
}

void tst_CheckRules::parseKiB_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("plain") << "83753556" << qint64(83753556);
    QTest::newRow("beyond 32 bits") << "2147483648" << qint64(2147483648LL);
    QTest::newRow("8 TiB") << "8589934592" << qint64(8589934592LL);
    QTest::newRow("empty") << "" << qint64(0);
    QTest::newRow("not a number") << "12G" << qint64(0);
    QTest::newRow("negative") << "-5" << qint64(0);
}

void tst_CheckRules::parseKiB()
{
    QFETCH(QString, text);
    QFETCH(qint64, expected);
    QCOMPARE(DiskSpace::parseKiB(text), expected);
}

void tst_CheckRules::packageFits_data()
{
    QTest::addColumn<qint64>("packageBytes");
    QTest::addColumn<qint64>("freeKiB");
    QTest::addColumn<bool>("fits");

    const qint64 MiB = 1048576;
    QTest::newRow("1 MiB, exactly 2 + 10240 MiB free") << MiB << (2 + 10240) * qint64(1024) << false;
    QTest::newRow("1 MiB, one MiB more free") << MiB << (3 + 10240) * qint64(1024) << true;
    QTest::newRow("part of a MiB rounds down") << 2 * MiB - 1 << (3 + 10240) * qint64(1024) << true;
    QTest::newRow("4 GiB, just too little") << 4096 * MiB << (8192 + 10240) * qint64(1024) << false;
    QTest::newRow("4 GiB, enough") << 4096 * MiB << (8193 + 10240) * qint64(1024) << true;
    QTest::newRow("3 TiB free") << 100 * MiB << qint64(3) * 1024 * 1024 * 1024 << true;
    QTest::newRow("nothing free") << qint64(0) << qint64(0) << false;
}

void tst_CheckRules::packageFits()
{
    QFETCH(qint64, packageBytes);
    QFETCH(qint64, freeKiB);
    QFETCH(bool, fits);
    QCOMPARE(DiskSpace::packageFits(packageBytes, freeKiB), fits);
}

void tst_CheckRules::backupFits_data()
{
    QTest::addColumn<qint64>("freeKiB");
    QTest::addColumn<qint64>("usedKiB");
    QTest::addColumn<bool>("fits");

    QTest::newRow("equal passes") << qint64(16583632 + 10485760) << qint64(16583632) << true;
    QTest::newRow("one KiB less fails") << qint64(16583632 + 10485759) << qint64(16583632) << false;
    QTest::newRow("nothing used needs the reserve") << qint64(10485760) << qint64(0) << true;
    QTest::newRow("unreadable free space") << qint64(0) << qint64(0) << false;
    QTest::newRow("more than 2 TiB free") << qint64(3000000000LL) << qint64(16583632) << true;
    QTest::newRow("used near the 64-bit limit")
        << qint64(20000000) << std::numeric_limits<qint64>::max() << false;
}

void tst_CheckRules::backupFits()
{
    QFETCH(qint64, freeKiB);
    QFETCH(qint64, usedKiB);
    QFETCH(bool, fits);
    QCOMPARE(DiskSpace::backupFits(freeKiB, usedKiB), fits);
}

void tst_CheckRules::manifest_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("validJson");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("patch");
    QTest::addColumn<QString>("cveId");
    QTest::addColumn<QString>("archs");
    QTest::addColumn<QString>("systemType");

    QTest::newRow("patch package")
        << QByteArray(R"({"type":2,"data":{"cveId":"CVE-1","archs":"amd64","systemType":"S"}})")
        << true << 2 << true << "CVE-1" << "amd64" << "S";
    QTest::newRow("type as a string is no type")
        << QByteArray(R"({"type":"2","data":{"cveId":"CVE-1"}})") << true << 0 << false << "CVE-1"
        << "" << "";
    QTest::newRow("type 3 is a system update") << QByteArray(R"({"type":3})") << true << 3 << false
                                               << "" << "" << "";
    QTest::newRow("fractional type reads as 0") << QByteArray(R"({"type":2.5})") << true << 0
                                                << false << "" << "" << "";
    QTest::newRow("archs as an array")
        << QByteArray(R"({"type":1,"data":{"archs":["amd64"]}})") << true << 1 << false << ""
        << "" << "";
    QTest::newRow("data not an object") << QByteArray(R"({"type":1,"data":"x"})") << true << 1
                                        << false << "" << "" << "";
    QTest::newRow("top level array") << QByteArray(R"([{"type":2}])") << true << 0 << false << ""
                                     << "" << "";
    QTest::newRow("not JSON") << QByteArray("type=2") << false << 0 << false << "" << "" << "";
    QTest::newRow("empty file") << QByteArray() << false << 0 << false << "" << "" << "";
}

void tst_CheckRules::manifest()
{
    QFETCH(QByteArray, json);
    const PackageManifest manifest = PackageManifest::parse(json);
    QTEST(manifest.validJson, "validJson");
    QTEST(manifest.type, "type");
    QTEST(manifest.isPatch(), "patch");
    QTEST(manifest.cveId, "cveId");
    QTEST(manifest.archs, "archs");
    QTEST(manifest.systemType, "systemType");
}

void tst_CheckRules::architecture_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("package");
    QTest::addColumn<bool>("fits");

    QTest::newRow("x86_64 amd64") << "x86_64" << "amd64" << true;
    QTest::newRow("capitals on the package side") << "x86_64" << "AMD64" << true;
    QTest::newRow("capitals on the machine side") << "X86_64" << "amd64" << false;
    QTest::newRow("i386 takes amd64") << "i386" << "amd64" << true;
    QTest::newRow("i386 refuses i386") << "i386" << "i386" << false;
    QTest::newRow("aarch64 arm64") << "aarch64" << "arm64" << true;
    QTest::newRow("arm64 on x86_64") << "x86_64" << "arm64" << false;
    QTest::newRow("mips64 mips64el") << "mips64" << "mips64el" << true;
    QTest::newRow("sw_64") << "sw_64" << "sw_64" << true;
    QTest::newRow("loongarch64") << "loongarch64" << "loongarch64" << true;
    QTest::newRow("unknown machine") << "riscv64" << "riscv64" << false;
    QTest::newRow("i686 is not in the table") << "i686" << "amd64" << false;
    QTest::newRow("no machine name") << "" << "" << false;
    QTest::newRow("a list is compared whole") << "x86_64" << "amd64,arm64" << false;
}

void tst_CheckRules::architecture()
{
    QFETCH(QString, machine);
    QFETCH(QString, package);
    QFETCH(bool, fits);
    QCOMPARE(ArchitectureTable::fits(machine, package), fits);
}

void tst_CheckRules::sourceLine_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QStringList>("components");
    QTest::addColumn<QString>("line");

    QTest::newRow("one component")
        << "/home/alice" << QStringList { "main" }
        << "deb [trusted=yes] file:///home/alice/.cache/tevrin-offline-update/repo/ torak main";
    QTest::newRow("two components keep their order")
        << "/root" << QStringList { "contrib", "main" }
        << "deb [trusted=yes] file:///root/.cache/tevrin-offline-update/repo/ torak contrib main";
    QTest::newRow("blank in the home path")
        << "/home/a b" << QStringList { "main" }
        << "deb [trusted=yes] file:///home/a%20b/.cache/tevrin-offline-update/repo/ torak main";
    QTest::newRow("no pool") << "/root" << QStringList()
                             << "deb [trusted=yes] file:///root/.cache/tevrin-offline-update/repo/ torak";
}

void tst_CheckRules::sourceLine()
{
    QFETCH(QString, home);
    QFETCH(QStringList, components);
    QTEST(AptSource::sourceLine(home, components), "line");
}

void tst_CheckRules::pointAt_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("replaced");

    const QString placeholder = AptSource::placeholderLine();
    const QString ours = AptSource::sourceLine(QStringLiteral("/root"), { QStringLiteral("main") });
    const QString bob = AptSource::sourceLine(QStringLiteral("/home/bob"),
                                              { QStringLiteral("main"), QStringLiteral("extra") });
    const QString admin = QStringLiteral("deb http://mirror.example/debian bookworm main");

    QTest::newRow("placeholder, shorter home")
        << placeholder + "\n" << ours + "\n" << true;
    QTest::newRow("another user's earlier line") << bob + "\n" << ours + "\n" << true;
    QTest::newRow("administrator's lines stay")
        << "# local\n" + admin + "\n" + placeholder + "\n" + admin
        << "# local\n" + admin + "\n" + ours + "\n" + admin << true;
    QTest::newRow("placeholder twice") << placeholder + "\n" + placeholder
                                       << ours + "\n" + ours << true;
    QTest::newRow("no line of ours") << admin + "\n" << admin + "\n" << false;
    QTest::newRow("commented-out line of ours is the administrator's")
        << "# " + placeholder << "# " + placeholder << false;
}

void tst_CheckRules::pointAt()
{
    QFETCH(QString, list);
    QFETCH(QString, expected);
    QFETCH(bool, replaced);
    const QString line = AptSource::sourceLine(QStringLiteral("/root"), { QStringLiteral("main") });
    bool any = !replaced;
    QCOMPARE(AptSource::pointAt(list, line, &any), expected);
    QCOMPARE(any, replaced);
}

QTEST_GUILESS_MAIN(tst_CheckRules)
#include "tst_checkrules.moc"
