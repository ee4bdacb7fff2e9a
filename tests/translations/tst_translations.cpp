// Faults caught here, for the tool's file and for the one of what both clients say: a text added
// to or changed in the sources without a refresh of the committed .ts (the running program would
// silently show English); an entry there left unfinished, vanished or obsolete, left empty, or
// whose translation drops or renumbers a placeholder; a .qm not built beside the tool under the
// name the application's translator lookup expects, or not built into the report text library;
// a message that lands in another context or loses its disambiguation, so tr() never finds it.
#include "reporttexttranslation.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    for (auto it = QRegularExpression(QStringLiteral("%L?(\\d+|n)")).globalMatch(text);
         it.hasNext();)
        found.append(it.next().captured());
    found.sort();
    return found;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void committedFileIsCurrent_data() { files(); }
    void committedFileIsCurrent()
    {
        QFETCH(QString, tsFile);
        QFETCH(QString, sourceDirs);
        // A refresh of a copy, as the update-translations target makes it: a new text comes in
        // as an unfinished entry, and the entries of texts the sources no longer have go.
        QTemporaryDir dir;
        const QString refreshed = dir.filePath(QStringLiteral("refreshed.ts"));
        QVERIFY(QFile::copy(tsFile, refreshed));
        QCOMPARE(QProcess::execute(QStringLiteral(LUPDATE),
                     QStringList { "-silent", "-no-obsolete", "-locations", "none" }
                         + sourceDirs.split('|') + QStringList { "-ts", refreshed }),
            0);
        // Line by line, so that a failure shows the first line that differs.
        QCOMPARE(readAll(refreshed).split('\n'), readAll(tsFile).split('\n'));
    }

    void messagesComplete_data() { files(); }
    void messagesComplete()
    {
        QFETCH(QString, tsFile);
        const QString ts = readAll(tsFile);
        const QRegularExpression message(
            QStringLiteral("<source>(.*?)</source>.*?<translation([^>]*)>(.*?)</translation>"),
            QRegularExpression::DotMatchesEverythingOption);
        int count = 0;
        for (auto it = message.globalMatch(ts); it.hasNext(); ++count) {
            const QRegularExpressionMatch m = it.next();
            QVERIFY2(m.captured(2).isEmpty() && !m.captured(3).trimmed().isEmpty(),
                qPrintable(m.captured(1) + " is marked" + m.captured(2) + " or untranslated"));
            QCOMPARE(placeholders(m.captured(3)), placeholders(m.captured(1)));
        }
        // Every message matched on its own, none skipped into the next one's translation.
        QVERIFY(count > 0);
        QCOMPARE(count, ts.count(QStringLiteral("<message")));
    }

    void translates_data()
    {
        QTest::addColumn<QStringList>("message"); // context, source, disambiguation, translation
        QTest::newRow("disambiguated")
            << QStringList { "OfflineCheckResultWidget", "OK", "Button", "确定" };
        QTest::newRow("toolkit namespace")
            << QStringList { "Karvo::TitleBar", "Minimize", "", "最小化" };
    }
    void translates()
    {
        QFETCH(QStringList, message);
        // The call Karvo::Application::loadTranslator makes for <executable dir>/translations.
        QTranslator translator;
        QVERIFY2(translator.load(QLocale(QStringLiteral("zh_CN")),
                     QStringLiteral("tevrin-offline-update-tool"), QStringLiteral("_"),
                     QStringLiteral(TOOL_DIR "/translations")),
            "no tevrin-offline-update-tool_zh_CN.qm beside the built tool");
        QCOMPARE(translator.translate(qPrintable(message.at(0)), message.at(1).toUtf8().constData(),
                     message.at(2).isEmpty() ? nullptr : qPrintable(message.at(2))),
            message.at(3));
    }

    // The translation the command-line client and the tool install from the library itself.
    void reportTextTranslates()
    {
        QVERIFY(ReportTextTranslation::load(QLocale(QStringLiteral("zh_CN"))));
        QCOMPARE(QCoreApplication::translate("CheckTable", "Pass"), QStringLiteral("通过"));
        QVERIFY(!ReportTextTranslation::load(QLocale(QLocale::English)));
        QCOMPARE(QCoreApplication::translate("CheckTable", "Pass"), QStringLiteral("Pass"));
    }

private:
    void files()
    {
        QTest::addColumn<QString>("tsFile");
        QTest::addColumn<QString>("sourceDirs");
        QTest::newRow("tool") << QStringLiteral(TS_FILE) << QStringLiteral(SOURCE_DIRS);
        QTest::newRow("report text")
            << QStringLiteral(REPORT_TEXT_TS_FILE) << QStringLiteral(REPORT_TEXT_SOURCE_DIRS);
    }
};

QTEST_GUILESS_MAIN(tst_Translations)
#include "tst_translations.moc"
