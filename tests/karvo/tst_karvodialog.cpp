// Faults this test is there to catch:
// - a dialog button that does not close the dialog, leaves a result other than its index, is
//   not of the asked type or ignores the default flag;
// - the close control, Escape or reject() ending the dialog with 0 (the first button's index)
//   instead of -1, or reporting a buttonClicked;
// - an unset or cleared icon, title or message that still pushes the content down;
// - a command link whose size hint cuts its text, not drawn in the accent colour, or silent;
// - a blur widget that does not lay its mask colour over the backdrop, or has square corners.

#include "blureffectwidget.h"
#include "commandlinkbutton.h"
#include "dialog.h"
#include "suggestbutton.h"
#include "warningbutton.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

using namespace Karvo;

namespace {

// Where a content widget added now lands once the dialog is laid out.
int contentTop(Dialog &dialog)
{
    auto *content = new QWidget;
    content->setFixedSize(200, 40);
    dialog.addContent(content);
    dialog.show();
    return content->geometry().top();
}

} // namespace

class tst_KarvoDialog : public QObject
{
    Q_OBJECT

private slots:
    void closesWithTheChoice_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("result");
        QTest::newRow("normal button, index 0 is not Rejected") << 0 << 0;
        QTest::newRow("warning button, index 1 is not Accepted") << 1 << 1;
        QTest::newRow("recommended button") << 2 << 2;
        QTest::newRow("close control") << 3 << -1;
        QTest::newRow("Escape") << 4 << -1;
        QTest::newRow("reject()") << 5 << -1;
    }
    void closesWithTheChoice()
    {
        QFETCH(int, way);
        QFETCH(int, result);
        Dialog dialog;
        QCOMPARE(dialog.addButton(QStringLiteral("Cancel")), 0);
        QCOMPARE(dialog.addButton(QStringLiteral("Delete"), false, Dialog::ButtonWarning), 1);
        QCOMPARE(dialog.addButton(QStringLiteral("OK"), true, Dialog::ButtonRecommend), 2);
        QVERIFY(qobject_cast<WarningButton *>(dialog.button(1)));
        QVERIFY(qobject_cast<SuggestButton *>(dialog.button(2))->isDefault());
        QVERIFY(!qobject_cast<QPushButton *>(dialog.button(0))->isDefault());

        QSignalSpy clicked(&dialog, &Dialog::buttonClicked);
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        if (way < 3)
            QTest::mouseClick(dialog.button(way), Qt::LeftButton);
        else if (way == 3)
            QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
        else if (way == 4)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.reject();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), result);
        QCOMPARE(finished, QList<QVariantList>({ { result } }));
        if (result < 0)
            QCOMPARE(clicked.count(), 0);
        else
            QCOMPARE(clicked, QList<QVariantList>({ { result, dialog.button(result)->text() } }));
    }

    void hiddenPartsTakeNoRoom_data()
    {
        QTest::addColumn<int>("part");
        QTest::addColumn<bool>("keep");
        QTest::newRow("message cleared") << 0 << false;
        QTest::newRow("title cleared") << 1 << false;
        QTest::newRow("icon cleared") << 2 << false;
        QTest::newRow("message kept moves the content down") << 0 << true;
    }
    void hiddenPartsTakeNoRoom()
    {
        QFETCH(int, part);
        QFETCH(bool, keep);
        Dialog plain;
        Dialog dialog;
        dialog.setWordWrapMessage(true);
        for (const bool on : { true, keep }) {
            const QString text = on ? QStringLiteral("Some words that wrap, ").repeated(8) : "";
            if (part == 0)
                dialog.setMessage(text);
            else if (part == 1)
                dialog.setTitle(text);
            else
                dialog.setIcon(on ? QIcon(QPixmap(32, 32)) : QIcon());
        }
        const int plainTop = contentTop(plain);
        if (keep)
            QVERIFY(contentTop(dialog) > plainTop + dialog.fontMetrics().height());
        else
            QCOMPARE(contentTop(dialog), plainTop);
    }

    void commandLinkFitsAndClicks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("long") << "How to restore the system after a failed start";
        QTest::newRow("mnemonic marker is not drawn") << "&Restore";
    }
    void commandLinkFitsAndClicks()
    {
        QFETCH(QString, text);
        CommandLinkButton link(text);
        const QString shown = text.remove(QLatin1Char('&'));
        const QFontMetrics metrics = link.fontMetrics();
        const QSize hint = link.sizeHint();
        QVERIFY(hint.width() >= metrics.horizontalAdvance(shown));
        QVERIFY(hint.width() <= metrics.horizontalAdvance(shown) + 2 * metrics.averageCharWidth());
        QVERIFY(hint.height() >= metrics.height());

        link.resize(hint);
        const QImage image = link.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constBits());
        const QRgb accent = link.palette().color(QPalette::Highlight).rgb();
        QVERIFY(std::count(pixels, pixels + image.width() * image.height(), accent) > 0);

        QSignalSpy clicked(&link, &QAbstractButton::clicked);
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    void blurPaintsMaskInsideRoundedShape_data()
    {
        QTest::addColumn<QColor>("mask");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("opaque mask hides the backdrop")
            << QColor(10, 200, 30) << QColor(10, 200, 30);
        // A uniform parent stays uniform when blurred, so the blend is exactly predictable.
        QTest::newRow("translucent mask over the parent")
            << QColor(255, 255, 255, 128) << QColor(127, 127, 255);
    }
    void blurPaintsMaskInsideRoundedShape()
    {
        QFETCH(QColor, mask);
        QFETCH(QColor, expected);
        QWidget parent;
        parent.resize(200, 120);
        parent.setStyleSheet(QStringLiteral("background: blue"));
        BlurEffectWidget blur(&parent);
        blur.setGeometry(20, 20, 120, 60);
        blur.setRadius(40);
        blur.setMaskColor(mask);

        QImage image(blur.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        blur.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        const QColor centre = image.pixelColor(60, 30);
        QVERIFY2(qAbs(centre.red() - expected.red()) + qAbs(centre.green() - expected.green())
                    + qAbs(centre.blue() - expected.blue()) + 255 - centre.alpha()
                <= 4,
            qPrintable(centre.name(QColor::HexArgb)));
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }
};

QTEST_MAIN(tst_KarvoDialog)
#include "tst_karvodialog.moc"
