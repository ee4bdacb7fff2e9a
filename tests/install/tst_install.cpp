// Installs the build tree into a scratch root the way packaging does (DESTDIR, so that /etc
// lands there too) and looks at what a running system would get.
// Faults caught here:
// - a file the running system needs that is not installed, is installed where nothing looks
//   for it, or a program installed without its execute bit;
// - a desktop entry, MIME package, authorisation policy, bus policy, settings schema or icon
//   that its consumer refuses;
// - a MIME package that does not claim *.oup, or whose type loses against the content: a
//   package is a squashfs image, which the desktop otherwise recognises as such;
// - a desktop entry that starts no installed program, takes no file, or offers itself for
//   another type than the MIME package declares, or names an icon that is not installed;
// - bus activation that cannot work: an activation file naming another bus name than the
//   daemon owns and the bus policy lets root own, a program or unit that is not installed, or
//   a unit that does not wait for the bus name (callers would then time out or race the
//   daemon's start);
// - manual pages that troff warns about or that carry another name or section than their
//   file.
#include "childprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString BusName = QStringLiteral("com.tevrin.offline.update.daemon");
const QString OupType = QStringLiteral("application/x-tevrin-oup");

const QString BinDir = QStringLiteral(TEVRIN_FULL_BINDIR);
const QString SbinDir = QStringLiteral(TEVRIN_FULL_SBINDIR);
const QString DataDir = QStringLiteral(TEVRIN_FULL_DATADIR);
const QString ManDir = QStringLiteral(TEVRIN_FULL_MANDIR);
const QString SysconfDir = QStringLiteral(TEVRIN_FULL_SYSCONFDIR);
const QString UnitDir = QStringLiteral(TEVRIN_SYSTEMD_UNITDIR);

const QString ActivationFile = DataDir + "/dbus-1/system-services/" + BusName + ".service";
const QString BusPolicyFile = DataDir + "/dbus-1/system.d/" + BusName + ".conf";
const QString DesktopFile = DataDir + "/applications/tevrin-offline-update-tool.desktop";
const QString MimeFile = DataDir + "/mime/packages/tevrin-offline-update.xml";
const QString IconFile = DataDir + "/icons/hicolor/scalable/apps/upgrade-tool.svg";

// "Group/Key" -> value of a desktop-entry style file; the first occurrence wins.
QHash<QString, QString> readKeyFile(const QString &path)
{
    QHash<QString, QString> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    QString group;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
        } else if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            const int equals = line.indexOf(QLatin1Char('='));
            if (equals > 0) {
                const QString key = group + QLatin1Char('/') + line.left(equals).trimmed();
                if (!entries.contains(key))
                    entries.insert(key, line.mid(equals + 1).trimmed());
            }
        }
    }
    return entries;
}

// The values of |attribute| on every |element| of an XML file.
QStringList xmlAttributes(const QString &path, const QString &element, const QString &attribute)
{
    QStringList values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element
            && xml.attributes().hasAttribute(attribute))
            values << xml.attributes().value(attribute).toString();
    }
    return values;
}

void requireProgram(const QString &program, const char *package)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        QSKIP(qPrintable(
            QStringLiteral("%1 is missing (package %2)").arg(program, QLatin1String(package))));
}

} // namespace

class tst_Install : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void xmlFilesParse_data();
    void xmlFilesParse();
    void desktopEntryValidates();
    void desktopEntryOpensPackages();
    void mimeTypeWinsForPackages();
    void busActivationReachesDaemon();
    void schemaCompiles();
    void manualPages_data();
    void manualPages();

private:
    QString installed(const QString &path) const { return m_root.path() + path; }
    // Exit code, or -1 when |command| did not start or end; output and errors in |output|.
    static int run(const QStringList &command, QByteArray *output,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    QTemporaryDir m_root;
};

int tst_Install::run(
    const QStringList &command, QByteArray *output, const QProcessEnvironment &environment)
{
    ChildProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.value(0), command.mid(1));
    const bool ended = process.waitForFinished(60000);
    *output = process.readAll();
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void tst_Install::initTestCase()
{
    QVERIFY(m_root.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_root.path());
    QByteArray output;
    const int status = run({ QStringLiteral(TEVRIN_CMAKE_COMMAND), QStringLiteral("--install"),
                               QStringLiteral(TEVRIN_BUILD_DIR) },
        &output, environment);
    QVERIFY2(status == 0, output.constData());
}

void tst_Install::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("program");

    QTest::newRow("daemon") << SbinDir + "/tevrin-offline-update-daemon" << true;
    QTest::newRow("tool") << BinDir + "/tevrin-offline-update-tool" << true;
    QTest::newRow("package builder") << BinDir + "/tevrin-oup-build" << true;
    QTest::newRow("bus policy") << BusPolicyFile << false;
    QTest::newRow("bus activation") << ActivationFile << false;
    QTest::newRow("unit") << UnitDir + "/tevrin-offline-update-daemon.service" << false;
    QTest::newRow("authorisation actions")
        << DataDir + "/polkit-1/actions/com.tevrin.offline.update.policy" << false;
    QTest::newRow("settings schema")
        << DataDir + "/glib-2.0/schemas/com.tevrin.offline.update.gschema.xml" << false;
    QTest::newRow("desktop entry") << DesktopFile << false;
    QTest::newRow("MIME package") << MimeFile << false;
    QTest::newRow("icon") << IconFile << false;
    // /etc itself with the prefix /usr, which is where the daemon reads it.
    QTest::newRow("source list") << SysconfDir + "/tevrin-offline-update/update.list" << false;
    QTest::newRow("tool manual") << ManDir + "/man1/tevrin-offline-update-tool.1" << false;
    QTest::newRow("builder manual") << ManDir + "/man1/tevrin-oup-build.1" << false;
    QTest::newRow("daemon manual") << ManDir + "/man8/tevrin-offline-update-daemon.8" << false;
}

void tst_Install::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, program);

    const QFileInfo file(installed(path));
    QVERIFY2(file.isFile(), qPrintable(path));
    QCOMPARE(file.isExecutable(), program);
}

void tst_Install::xmlFilesParse_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("MIME package") << MimeFile;
    QTest::newRow("authorisation actions")
        << DataDir + "/polkit-1/actions/com.tevrin.offline.update.policy";
    QTest::newRow("bus policy") << BusPolicyFile;
    QTest::newRow("settings schema")
        << DataDir + "/glib-2.0/schemas/com.tevrin.offline.update.gschema.xml";
    QTest::newRow("icon") << IconFile;
}

void tst_Install::xmlFilesParse()
{
    QFETCH(QString, path);
    requireProgram(QStringLiteral("xmllint"), "libxml2-utils");

    QByteArray output;
    const int status
        = run({ QStringLiteral("xmllint"), QStringLiteral("--noout"), installed(path) }, &output);
    QVERIFY2(status == 0 && output.isEmpty(), output.constData());
}

void tst_Install::desktopEntryValidates()
{
    requireProgram(QStringLiteral("desktop-file-validate"), "desktop-file-utils");

    QByteArray output;
    const int status
        = run({ QStringLiteral("desktop-file-validate"), installed(DesktopFile) }, &output);
    // Hints and warnings do not change the status; they are faults all the same.
    QVERIFY2(status == 0 && output.isEmpty(), output.constData());
}

void tst_Install::desktopEntryOpensPackages()
{
    const QHash<QString, QString> entry = readKeyFile(installed(DesktopFile));
    const QString group = QStringLiteral("Desktop Entry/");

    const QStringList exec = entry.value(group + "Exec").split(QLatin1Char(' '));
    QCOMPARE(exec.size(), 2);
    QCOMPARE(exec.at(1), QStringLiteral("%f"));
    // A bare name is looked up in PATH, which holds BinDir on any system this is installed to.
    QVERIFY2(QFileInfo(installed(BinDir + QLatin1Char('/') + exec.at(0))).isExecutable(),
        qPrintable(exec.at(0)));

    QCOMPARE(entry.value(group + "MimeType"), OupType + QLatin1Char(';'));
    QCOMPARE(entry.value(group + "Icon"), QFileInfo(IconFile).completeBaseName());
    QCOMPARE(entry.value(group + "Name[zh_CN]"), QStringLiteral("离线升级工具"));
}

void tst_Install::mimeTypeWinsForPackages()
{
    QCOMPARE(
        xmlAttributes(installed(MimeFile), QStringLiteral("mime-type"), QStringLiteral("type")),
        QStringList { OupType });
    QCOMPARE(xmlAttributes(installed(MimeFile), QStringLiteral("glob"), QStringLiteral("pattern")),
        QStringList { QStringLiteral("*.oup") });

    requireProgram(QStringLiteral("update-mime-database"), "shared-mime-info");
    requireProgram(QStringLiteral("gio"), "libglib2.0-bin");
    QByteArray output;
    const QString mimeDir = installed(DataDir + "/mime");
    QVERIFY2(
        run({ QStringLiteral("update-mime-database"), mimeDir }, &output) == 0, output.constData());

    // Starts like every package does: with the squashfs magic, which the system's own database
    // maps to a type of its own.
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    QFile package(scratch.filePath(QStringLiteral("patch.oup")));
    QVERIFY(package.open(QIODevice::WriteOnly));
    package.write(QByteArray("hsqs").append(4092, '\0'));
    package.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch.path());
    environment.insert(QStringLiteral("XDG_DATA_DIRS"),
        installed(DataDir) + QStringLiteral(":/usr/local/share:/usr/share"));
    QVERIFY2(run({ QStringLiteral("gio"), QStringLiteral("info"), QStringLiteral("-a"),
                     QStringLiteral("standard::content-type"), package.fileName() },
                 &output, environment)
            == 0,
        output.constData());
    QVERIFY2(
        output.contains("standard::content-type: " + OupType.toUtf8() + '\n'), output.constData());
}

void tst_Install::busActivationReachesDaemon()
{
    const QHash<QString, QString> activation = readKeyFile(installed(ActivationFile));
    const QString service = QStringLiteral("D-BUS Service/");
    QCOMPARE(activation.value(service + "Name"), BusName);
    QCOMPARE(activation.value(service + "User"), QStringLiteral("root"));
    const QString program = activation.value(service + "Exec");
    QCOMPARE(program, SbinDir + QStringLiteral("/tevrin-offline-update-daemon"));
    QVERIFY(QFileInfo(installed(program)).isExecutable());

    QVERIFY2(xmlAttributes(installed(BusPolicyFile), QStringLiteral("allow"), QStringLiteral("own"))
                 .contains(BusName),
        "the bus policy does not let the daemon own its name");

    const QString unitName = activation.value(service + "SystemdService");
    QVERIFY(!unitName.isEmpty());
    const QString unitPath = installed(UnitDir + QLatin1Char('/') + unitName);
    QVERIFY2(QFileInfo(unitPath).isFile(), qPrintable(unitName));
    const QHash<QString, QString> unit = readKeyFile(unitPath);
    QCOMPARE(unit.value(QStringLiteral("Service/Type")), QStringLiteral("dbus"));
    QCOMPARE(unit.value(QStringLiteral("Service/BusName")), BusName);
    QCOMPARE(unit.value(QStringLiteral("Service/ExecStart")), program);
}

void tst_Install::schemaCompiles()
{
    requireProgram(QStringLiteral("glib-compile-schemas"), "libglib2.0-bin");

    QByteArray output;
    const int status
        = run({ QStringLiteral("glib-compile-schemas"), QStringLiteral("--strict"),
                  QStringLiteral("--dry-run"), installed(DataDir + "/glib-2.0/schemas") },
            &output);
    QVERIFY2(status == 0 && output.isEmpty(), output.constData());
}

void tst_Install::manualPages_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("tool") << ManDir + "/man1/tevrin-offline-update-tool.1";
    QTest::newRow("builder") << ManDir + "/man1/tevrin-oup-build.1";
    QTest::newRow("daemon") << ManDir + "/man8/tevrin-offline-update-daemon.8";
}

void tst_Install::manualPages()
{
    QFETCH(QString, path);

    QFile page(installed(path));
    QVERIFY2(page.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(path));
    const QString text = QString::fromUtf8(page.readAll());
    const QFileInfo file(path);
    const QRegularExpressionMatch title = QRegularExpression(
        QStringLiteral("^\\.TH (\\S+) (\\S+)"), QRegularExpression::MultilineOption)
                                              .match(text);
    QVERIFY2(title.hasMatch(), "no title line");
    QCOMPARE(title.captured(1), file.completeBaseName().toUpper());
    QCOMPARE(title.captured(2), file.suffix());
    QVERIFY2(text.contains(QStringLiteral("\n.SH NAME\n") + file.completeBaseName() + " \\- "),
        "the NAME section does not start with the page's name");

    requireProgram(QStringLiteral("groff"), "groff-base");
    QByteArray output;
    const int status
        = run({ QStringLiteral("groff"), QStringLiteral("-man"), QStringLiteral("-Tutf8"),
                  QStringLiteral("-ww"), QStringLiteral("-z"), installed(path) },
            &output);
    QVERIFY2(status == 0 && output.isEmpty(), output.constData());
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
