// Faults this test is there to catch: a repeated key logged again within its window (the log grows
// with every refused call again); repeats lost instead of summarised, or summarised with the wrong
// count or span; one key's window swallowing or ending another's; a window that never ends, so a
// key is silenced for good; more distinct keys held than the cap (memory grows with each key), or
// the dropped one's count lost; counts still held at exit lost.
#include "logthrottle.h"

#include <QTest>
#include <memory>

class tst_LogThrottle : public QObject
{
    Q_OBJECT

private slots:
    void transcript_data()
    {
        // Each event is "<key>@<ms>" (one allow() at that time), "flush@<ms>" or "end@<ms>" (the
        // throttle destroyed). The transcript holds "logged <key>" for each allow() that said
        // true, and each summary line, in the order they came.
        QTest::addColumn<int>("maxKeys");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("transcript");
        QTest::newRow("one key repeated within a window: one line and one summary")
            << 8
            << QStringList { "a@0", "a@10000", "a@30000", "a@59999", "flush@59999", "flush@60000",
                   "end@90000" }
            << QStringList { "logged a", "a: 3 more times in the last 60 s" };
        QTest::newRow("two keys interleaved keep their own windows and counts")
            << 8
            << QStringList { "a@0", "b@1000", "a@2000", "b@3000", "a@4000", "flush@60000",
                   "b@61000", "end@61000" }
            << QStringList { "logged a", "logged b", "a: 2 more times in the last 60 s",
                   "b: 1 more time in the last 60 s", "logged b" };
        QTest::newRow("window over: the next call is summarised and logged anew")
            << 8 << QStringList { "a@0", "a@500", "a@60000", "a@60001", "a@120000", "end@120000" }
            << QStringList { "logged a", "a: 1 more time in the last 60 s", "logged a",
                   "a: 1 more time in the last 60 s", "logged a" };
        QTest::newRow("a key seen once in its window has nothing to summarise")
            << 8 << QStringList { "a@0", "flush@60000", "a@70000", "end@200000" }
            << QStringList { "logged a", "logged a" };
        QTest::newRow("key cap: the oldest is summarised early, forgotten and logged anew")
            << 2 << QStringList { "a@0", "a@1", "b@2", "c@3000", "a@3001", "b@3002", "end@3002" }
            << QStringList { "logged a", "logged b", "a: 1 more time in the last 3 s", "logged c",
                   "logged a", "logged b" };
        QTest::newRow("counts still held are summarised at exit")
            << 8 << QStringList { "a@0", "a@1", "b@2", "b@3", "b@4", "end@6500" }
            << QStringList { "logged a", "logged b", "a: 1 more time in the last 7 s",
                   "b: 2 more times in the last 7 s" };
    }
    void transcript()
    {
        QFETCH(int, maxKeys);
        QFETCH(QStringList, events);
        QFETCH(QStringList, transcript);
        qint64 now = 0;
        QStringList seen;
        auto throttle = std::make_unique<LogThrottle>(
            60000, maxKeys, [&seen](const QString &line) { seen << line; }, [&now] { return now; });
        for (const QString &event : events) {
            const QString what = event.section('@', 0, 0);
            now = event.section('@', 1).toLongLong();
            if (what == QLatin1String("flush"))
                throttle->flush();
            else if (what == QLatin1String("end"))
                throttle.reset();
            else if (throttle->allow(what))
                seen << QStringLiteral("logged ") + what;
        }
        QCOMPARE(seen, transcript);
    }
};

QTEST_GUILESS_MAIN(tst_LogThrottle)

#include "tst_logthrottle.moc"
