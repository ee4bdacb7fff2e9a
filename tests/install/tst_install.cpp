// Installs the build tree into a scratch root as packaging does (DESTDIR, so /etc lands there
// too). Faults caught here: a file the running system needs not installed, installed where
// nothing looks for it, or with the wrong execute bit; a desktop entry, MIME package, policy,
// schema or icon that its validator refuses; a MIME package not claiming *.oup, or a desktop
// entry offering itself for another type; bus activation that cannot work: an activation file
// naming another bus name than the unit waits for and the bus policy lets root own, another
// program than the daemon, a unit not installed or not of type dbus (callers would time out).
#include "childprocess.h"

#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString BusName = QStringLiteral("com.tevrin.offline.update.daemon");
const QString UnitName = QStringLiteral("tevrin-offline-update-daemon.service");
const QString BinDir = QStringLiteral(TEVRIN_FULL_BINDIR);
const QString SbinDir = QStringLiteral(TEVRIN_FULL_SBINDIR);
const QString ManDir = QStringLiteral(TEVRIN_FULL_MANDIR);
const QString EtcDir = QStringLiteral(TEVRIN_FULL_SYSCONFDIR);
const QString DataDir = QStringLiteral(TEVRIN_FULL_DATADIR);
const QString UnitDir = QStringLiteral(TEVRIN_SYSTEMD_UNITDIR);
const QString ActivationFile = DataDir + "/dbus-1/system-services/" + BusName + ".service";
const QString BusPolicyFile = DataDir + "/dbus-1/system.d/" + BusName + ".conf";
const QString DesktopFile = DataDir + "/applications/tevrin-offline-update-tool.desktop";
const QString MimeFile = DataDir + "/mime/packages/tevrin-offline-update.xml";
const QString PolicyFile = DataDir + "/polkit-1/actions/com.tevrin.offline.update.policy";
const QString SchemaFile = DataDir + "/glib-2.0/schemas/com.tevrin.offline.update.gschema.xml";
const QString IconFile = DataDir + "/icons/hicolor/scalable/apps/upgrade-tool.svg";

// "Group/Key" -> value of a desktop-entry style file.
QHash<QString, QString> readKeyFile(const QString &path)
{
    QHash<QString, QString> entries;
    QFile file(path);
    QString group;
    for (bool open = file.open(QIODevice::ReadOnly | QIODevice::Text); open && !file.atEnd();) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const int eq = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
            group = line.mid(1, line.size() - 2);
        else if (eq > 0 && !line.startsWith(QLatin1Char('#')))
            entries.insert(group + '/' + line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return entries;
}

// The values of |attribute| on every |element| of an XML file.
QStringList xmlAttributes(const QString &path, const QString &element, const QString &attribute)
{
    QStringList values;
    QFile file(path);
    QXmlStreamReader xml(file.open(QIODevice::ReadOnly) ? &file : nullptr);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element)
            values << xml.attributes().value(attribute).toString();
    return values;
}

} // namespace

class tst_Install : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("DESTDIR", QFile::encodeName(m_root.path()));
        QByteArray output;
        QVERIFY2(run({ TEVRIN_CMAKE_COMMAND, "--install", TEVRIN_BUILD_DIR }, &output) == 0,
            output.constData());
    }

    void installedFiles_data()
    {
        QTest::addColumn<QString>("path"); // programs, and only they, are executable
        QTest::addColumn<QString>("validator"); // empty: none
        const QString none;
        QTest::newRow("daemon") << SbinDir + "/tevrin-offline-update-daemon" << none;
        QTest::newRow("tool") << BinDir + "/tevrin-offline-update-tool" << none;
        QTest::newRow("package builder") << BinDir + "/tevrin-oup-build" << none;
        QTest::newRow("bus policy") << BusPolicyFile << "xmllint";
        QTest::newRow("bus activation") << ActivationFile << none;
        QTest::newRow("unit") << UnitDir + '/' + UnitName << none;
        QTest::newRow("authorisation actions") << PolicyFile << "xmllint";
        QTest::newRow("settings schema") << SchemaFile << "xmllint";
        QTest::newRow("desktop entry") << DesktopFile << "desktop-file-validate";
        QTest::newRow("MIME package") << MimeFile << "xmllint";
        QTest::newRow("icon") << IconFile << "xmllint";
        // /etc itself with the prefix /usr, which is where the daemon reads it.
        QTest::newRow("source list") << EtcDir + "/tevrin-offline-update/update.list" << none;
        QTest::newRow("tool manual") << ManDir + "/man1/tevrin-offline-update-tool.1" << none;
        QTest::newRow("builder manual") << ManDir + "/man1/tevrin-oup-build.1" << none;
        QTest::newRow("daemon manual") << ManDir + "/man8/tevrin-offline-update-daemon.8" << none;
    }
    void installedFiles()
    {
        QFETCH(QString, path);
        QFETCH(QString, validator);
        const QFileInfo file(m_root.path() + path);
        QVERIFY2(file.isFile(), qPrintable(path));
        QCOMPARE(
            file.isExecutable(), path.startsWith(BinDir + '/') || path.startsWith(SbinDir + '/'));
        if (validator.isEmpty())
            return;
        if (QStandardPaths::findExecutable(validator).isEmpty())
            QSKIP(qPrintable(validator + " is missing (desktop-file-utils, libxml2-utils)"));
        QStringList command { validator, file.filePath() };
        if (validator == QLatin1String("xmllint"))
            command.insert(1, QStringLiteral("--noout"));
        QByteArray output;
        // Hints and warnings do not change the status; they are faults all the same.
        QVERIFY2(run(command, &output) == 0 && output.isEmpty(), output.constData());
    }

    void mimePackageClaimsPackages()
    {
        const QString mime = m_root.path() + MimeFile;
        QCOMPARE(xmlAttributes(mime, QStringLiteral("glob"), QStringLiteral("pattern")),
            QStringList { QStringLiteral("*.oup") });
        const QStringList types = xmlAttributes(mime, QStringLiteral("mime-type"), "type");
        const QHash<QString, QString> entry = readKeyFile(m_root.path() + DesktopFile);
        QCOMPARE(entry.value(QStringLiteral("Desktop Entry/MimeType")), types.value(0) + ';');
    }

    void busActivationReachesDaemon()
    {
        const QHash<QString, QString> activation = readKeyFile(m_root.path() + ActivationFile);
        QCOMPARE(activation.value(QStringLiteral("D-BUS Service/Name")), BusName);
        QCOMPARE(activation.value(QStringLiteral("D-BUS Service/User")), QStringLiteral("root"));
        const QString program = activation.value(QStringLiteral("D-BUS Service/Exec"));
        QCOMPARE(program, SbinDir + QStringLiteral("/tevrin-offline-update-daemon"));
        QVERIFY2(xmlAttributes(m_root.path() + BusPolicyFile, QStringLiteral("allow"), "own")
                     .contains(BusName),
            "the bus policy does not let the daemon own its name");

        QCOMPARE(activation.value(QStringLiteral("D-BUS Service/SystemdService")), UnitName);
        const QHash<QString, QString> unit = readKeyFile(m_root.path() + UnitDir + '/' + UnitName);
        QCOMPARE(unit.value(QStringLiteral("Service/Type")), QStringLiteral("dbus"));
        QCOMPARE(unit.value(QStringLiteral("Service/BusName")), BusName);
        QCOMPARE(unit.value(QStringLiteral("Service/ExecStart")), program);
    }

private:
    // Exit code, or -1 when |command| did not start or end; output and errors in |output|.
    static int run(const QStringList &command, QByteArray *output)
    {
        ChildProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(command.value(0), command.mid(1));
        const bool ended = process.waitForFinished(60000);
        *output = process.readAll();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir m_root;
};

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
