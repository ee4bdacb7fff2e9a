// Faults this test is there to catch: a dialog button that does not close the dialog, leaves a
// result other than its index (index 0 and 1 collide with Rejected and Accepted), is not of the
// asked type or ignores the default flag; the close control or Escape ending the dialog with 0
// (the first button's index) instead of -1, or reporting a buttonClicked.
#include "dialog.h"
#include "suggestbutton.h"
#include "warningbutton.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using Karvo::Dialog;

class tst_KarvoDialog : public QObject
{
    Q_OBJECT

private slots:
    void closesWithTheChoice_data()
    {
        QTest::addColumn<int>("way"); // a button's index, 3 the close control, 4 Escape
        QTest::addColumn<int>("result");
        QTest::newRow("normal button, index 0 is not Rejected") << 0 << 0;
        QTest::newRow("warning button, index 1 is not Accepted") << 1 << 1;
        QTest::newRow("close control") << 3 << -1;
        QTest::newRow("Escape") << 4 << -1;
    }
    void closesWithTheChoice()
    {
        QFETCH(int, way);
        QFETCH(int, result);
        Dialog dialog;
        QCOMPARE(dialog.addButton(QStringLiteral("Cancel")), 0);
        QCOMPARE(dialog.addButton(QStringLiteral("Delete"), false, Dialog::ButtonWarning), 1);
        QCOMPARE(dialog.addButton(QStringLiteral("OK"), true, Dialog::ButtonRecommend), 2);
        QVERIFY(qobject_cast<Karvo::WarningButton *>(dialog.button(1)));
        QVERIFY(qobject_cast<Karvo::SuggestButton *>(dialog.button(2))->isDefault());
        QVERIFY(!qobject_cast<QPushButton *>(dialog.button(0))->isDefault());

        QSignalSpy clicked(&dialog, &Dialog::buttonClicked);
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        if (way < 3)
            QTest::mouseClick(dialog.button(way), Qt::LeftButton);
        else if (way == 3)
            QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), result);
        QCOMPARE(finished, QList<QVariantList>({ { result } }));
        if (result < 0)
            QCOMPARE(clicked.count(), 0);
        else
            QCOMPARE(clicked, QList<QVariantList>({ { result, dialog.button(result)->text() } }));
    }
};

QTEST_MAIN(tst_KarvoDialog)
#include "tst_karvodialog.moc"
