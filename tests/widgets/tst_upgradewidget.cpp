// Faults this test is there to catch:
// - the layer painting its colour opaque, or replacing what lies below instead of tinting it;
// - the colour not reaching the layer's edges, or spilling past them;
// - a top-level layer painting a window background under its colour, so that its own pixels
//   lose the colour's alpha.

#include "upgradewidget.h"

#include <QTest>
#include <memory>

namespace {

bool near(const QColor &actual, const QColor &expected, int tolerance)
{
    return qAbs(actual.red() - expected.red()) <= tolerance
        && qAbs(actual.green() - expected.green()) <= tolerance
        && qAbs(actual.blue() - expected.blue()) <= tolerance
        && qAbs(actual.alpha() - expected.alpha()) <= tolerance;
}

QByteArray describe(const QColor &colour)
{
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha())
        .toLatin1();
}

} // namespace

class tst_UpgradeWidget : public QObject
{
    Q_OBJECT

private slots:
    void tintsWhatLiesBelow_data();
    void tintsWhatLiesBelow();
    void keepsItsAlphaAsAWindow_data();
    void keepsItsAlphaAsAWindow();
};

void tst_UpgradeWidget::tintsWhatLiesBelow_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("expected");

    // Values worked out by hand: colour * a + background * (1 - a), a = 178 / 255.
    QTest::newRow("dark blue over white")
        << QColor(0, 15, 39, 178) << QColor(Qt::white) << QColor(77, 87, 104);
    QTest::newRow("dark blue over black")
        << QColor(0, 15, 39, 178) << QColor(Qt::black) << QColor(0, 10, 27);
    QTest::newRow("dark blue over grey")
        << QColor(0, 15, 39, 178) << QColor(120, 160, 200) << QColor(36, 59, 88);
    QTest::newRow("opaque colour") << QColor(10, 20, 30) << QColor(Qt::white) << QColor(10, 20, 30);
    QTest::newRow("fully transparent colour")
        << QColor(255, 0, 0, 0) << QColor(40, 80, 120) << QColor(40, 80, 120);
}

void tst_UpgradeWidget::tintsWhatLiesBelow()
{
    QFETCH(QColor, colour);
    QFETCH(QColor, background);
    QFETCH(QColor, expected);

    QWidget below;
    below.resize(100, 80);
    QPalette palette = below.palette();
    palette.setColor(QPalette::Window, background);
    below.setPalette(palette);
    below.setAutoFillBackground(true);
    auto layer = new UpgradeWidget(colour, &below);
    layer->setGeometry(20, 10, 50, 40);
    below.show();
    QVERIFY(QTest::qWaitForWindowExposed(&below));

    const QImage image = below.grab().toImage();
    const QRect inside = layer->geometry();
    for (const QPoint &point : { inside.topLeft(), inside.topRight(), inside.bottomLeft(),
             inside.bottomRight(), inside.center() }) {
        const QColor actual = image.pixelColor(point);
        QVERIFY2(near(actual, expected, 1), describe(actual).constData());
    }
    for (const QPoint &point : { inside.topLeft() - QPoint(1, 0), inside.topLeft() - QPoint(0, 1),
             inside.bottomRight() + QPoint(1, 0), inside.bottomRight() + QPoint(0, 1) }) {
        const QColor actual = image.pixelColor(point);
        QVERIFY2(near(actual, background, 0), describe(actual).constData());
    }
}

void tst_UpgradeWidget::keepsItsAlphaAsAWindow_data()
{
    QTest::addColumn<QColor>("colour");

    QTest::newRow("dark blue layer") << QColor(0, 15, 39, 178);
    QTest::newRow("faint white layer") << QColor(255, 255, 255, 40);
}

void tst_UpgradeWidget::keepsItsAlphaAsAWindow()
{
    QFETCH(QColor, colour);

    UpgradeWidget layer(colour);
    layer.resize(40, 30);
    layer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&layer));

    const QImage image = layer.grab().toImage();
    for (const QPoint &point : { QPoint(0, 0), QPoint(39, 29), QPoint(20, 15) }) {
        const QColor actual = image.pixelColor(point);
        // Stored premultiplied, so the colour channels may come back a little off.
        QVERIFY2(near(actual, colour, 3), describe(actual).constData());
        QCOMPARE(actual.alpha(), colour.alpha());
    }
}

QTEST_MAIN(tst_UpgradeWidget)

#include "tst_upgradewidget.moc"
