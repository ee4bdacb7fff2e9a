// Faults caught here: a text added to or changed in the tool's sources with no translation in the
// committed .ts (the running tool would silently show English); an entry there left unfinished,
// vanished or obsolete; a translation that drops or renumbers a placeholder, or translates a
// Chinese text the tool uses as stored; a .qm not built beside the tool executable under the name
// the application's translator lookup expects; a message that lands in another context or loses
// its disambiguation, so the tool's tr() call never finds it.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

struct Message
{
    QString context, source, comment, translation, type;
};
Q_DECLARE_METATYPE(Message)

namespace {

QList<Message> readTs(const QString &path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = xml.name();
        if (name == QLatin1String("name"))
            context = xml.readElementText();
        else if (name == QLatin1String("message"))
            messages.append({ context, {}, {}, {}, {} });
        else if (name == QLatin1String("source"))
            messages.last().source = xml.readElementText();
        else if (name == QLatin1String("comment"))
            messages.last().comment = xml.readElementText();
        else if (name == QLatin1String("translation")) {
            messages.last().type = xml.attributes().value(QLatin1String("type")).toString();
            messages.last().translation = xml.readElementText();
        }
    }
    return xml.hasError() ? QList<Message>() : messages;
}

QStringList sortedMatches(const QString &pattern, const QString &text)
{
    QStringList found;
    for (auto it = QRegularExpression(pattern).globalMatch(text); it.hasNext();)
        found.append(it.next().captured());
    found.sort();
    return found;
}

QSet<QString> keys(const QList<Message> &messages)
{
    QSet<QString> result;
    for (const Message &m : messages)
        result.insert(m.context + QLatin1Char('|') + m.source + QLatin1Char('|') + m.comment);
    return result;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void committedFileIsCurrent();
    void messageComplete_data();
    void messageComplete();
    void translates_data();
    void translates();

private:
    QList<Message> m_committed;
    QTranslator m_translator;
};

void tst_Translations::initTestCase()
{
    m_committed = readTs(QStringLiteral(TS_FILE));
    QVERIFY2(!m_committed.isEmpty(), "the committed .ts file is missing, malformed or empty");
    // The call Karvo::Application::loadTranslator makes for <executable dir>/translations.
    QVERIFY2(m_translator.load(QLocale(QStringLiteral("zh_CN")),
                 QStringLiteral("tevrin-offline-update-tool"), QStringLiteral("_"),
                 QStringLiteral(TOOL_DIR "/translations")),
        "no tevrin-offline-update-tool_zh_CN.qm beside the built tool");
}

void tst_Translations::committedFileIsCurrent()
{
    // A refresh of a copy, as the update-translations target does it: a new text comes in as an
    // extra entry, and -no-obsolete drops the entries of texts the sources no longer have.
    QTemporaryDir dir;
    const QString refreshed = dir.filePath(QStringLiteral("refreshed.ts"));
    QVERIFY(QFile::copy(QStringLiteral(TS_FILE), refreshed));
    const QStringList args = QStringList { QStringLiteral("-silent"),
        QStringLiteral("-no-obsolete"), QStringLiteral("-locations"), QStringLiteral("none") }
        + QStringLiteral(SOURCE_DIRS).split(QLatin1Char('|'))
        + QStringList { QStringLiteral("-ts"), refreshed };
    QCOMPARE(QProcess::execute(QStringLiteral(LUPDATE), args), 0);
    const QSet<QString> committed = keys(m_committed);
    const QSet<QString> current = keys(readTs(refreshed));
    const QString missing
        = QStringList(QSet<QString>(current).subtract(committed).values()).join(", ");
    const QString stale
        = QStringList(QSet<QString>(committed).subtract(current).values()).join(", ");
    QVERIFY2(missing.isEmpty() && stale.isEmpty(),
        qPrintable("not in the .ts: " + missing + "; gone from the sources: " + stale));
}

void tst_Translations::messageComplete_data()
{
    QTest::addColumn<Message>("message");
    for (const Message &message : qAsConst(m_committed))
        QTest::newRow(qPrintable(message.context + QLatin1Char('/') + message.source.left(40)))
            << message;
}

void tst_Translations::messageComplete()
{
    QFETCH(Message, message);
    QVERIFY2(message.type.isEmpty(), qPrintable(QStringLiteral("marked ") + message.type));
    QVERIFY(!message.translation.trimmed().isEmpty());
    const QString placeholder = QStringLiteral("%L?(\\d+|n)");
    QCOMPARE(sortedMatches(placeholder, message.translation),
        sortedMatches(placeholder, message.source));
    // Chinese inside a source text names something shown elsewhere exactly so (a boot menu
    // entry, for one) and has to survive translation verbatim.
    const QString cjk = QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]");
    for (const QString &stored : sortedMatches(cjk + "([^\\s\"]*" + cjk + ")?", message.source))
        QVERIFY2(message.translation.contains(stored), qPrintable(stored));
}

void tst_Translations::translates_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("disambiguation");
    QTest::addColumn<QString>("expected");

    QTest::newRow("page") << "OfflineCheckResultWidget"
                          << "Start Upgrade"
                          << ""
                          << "开始升级";
    QTest::newRow("dialog") << "ConfirmDialog"
                            << "Continue Upgrade"
                            << ""
                            << "继续升级";
    QTest::newRow("import page") << "OfflineUpdateWidget"
                                 << "Import offline file (.oup)"
                                 << ""
                                 << "导入离线升级包（.oup）";
    QTest::newRow("disambiguated") << "OfflineCheckResultWidget"
                                   << "OK"
                                   << "Button"
                                   << "确定";
    QTest::newRow("explicit context")
        << "OfflineUpdateModel"
        << "the offline update service is not installed or not running"
        << ""
        << "离线升级服务未安装或未运行";
    QTest::newRow("toolkit namespace") << "Karvo::TitleBar"
                                       << "Minimize"
                                       << ""
                                       << "最小化";
    QTest::newRow("animated dots stay at the end")
        << "OfflineUpgradeDialog"
        << "Please do not forcibly shut down or cut power during the update, otherwise it will "
           "damage the system%1"
        << ""
        << "升级过程中请勿强制关机或断电，否则会损坏系统%1";
}

void tst_Translations::translates()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, disambiguation);
    QTEST(m_translator.translate(qPrintable(context), source.toUtf8().constData(),
              disambiguation.isEmpty() ? nullptr : qPrintable(disambiguation)),
        "expected");
}

QTEST_GUILESS_MAIN(tst_Translations)
#include "tst_translations.moc"
