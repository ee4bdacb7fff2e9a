// Faults this test is there to catch:
// - continuing possible before the acknowledgement box is ticked, on the first dialog or on a
//   later one, or still possible after it is unticked again;
// - postponing or closing through the close control starting the upgrade;
// - continuing closing the dialog before sendStartUpgrade, so that the receiver would open
//   the progress dialog only after the confirmation has gone;
// - the two warning texts swapped or reworded, or the check box and buttons missing in one of
//   the two variants;
// - the recovery guide changing size with its title, a long title not wrapping inside it, its
//   body scrolling sideways, the boot menu picture missing or at the wrong size, or its close
//   control covered by the body.

#include "confirmdialog.h"
#include "licensedialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

namespace {

template <typename T> T *part(QWidget &dialog, const char *name)
{
    return dialog.findChild<T *>(QLatin1String(name));
}

} // namespace

class tst_ConfirmDialog : public QObject
{
    Q_OBJECT

private slots:
    void continueNeedsTheBoxTicked()
    {
        // The second dialog stands for the user's second attempt.
        for (int attempt = 0; attempt < 2; ++attempt) {
            ConfirmDialog dialog(true);
            auto *box = part<QCheckBox>(dialog, "confirmCheckBox");
            auto *continueButton = part<QPushButton>(dialog, "continueButton");
            QSignalSpy started(&dialog, &ConfirmDialog::sendStartUpgrade);
            QVERIFY(continueButton->testAttribute(Qt::WA_NoMousePropagation));
            QVERIFY(!continueButton->isEnabled());
            QTest::mouseClick(continueButton, Qt::LeftButton);
            QCOMPARE(started.count(), 0);
            box->click();
            QVERIFY(continueButton->isEnabled());
            box->click();
            QVERIFY(!continueButton->isEnabled());
            box->click();
            dialog.show();
            QTest::mouseClick(continueButton, Qt::LeftButton);
            QCOMPARE(started.count(), 1);
        }
    }

    void closingWithoutContinuingStartsNothing_data()
    {
        QTest::addColumn<bool>("postpone");
        QTest::newRow("postpone") << true;
        QTest::newRow("close control") << false;
    }
    void closingWithoutContinuingStartsNothing()
    {
        QFETCH(bool, postpone);
        ConfirmDialog dialog(true);
        part<QCheckBox>(dialog, "confirmCheckBox")->click();
        QSignalSpy started(&dialog, &ConfirmDialog::sendStartUpgrade);
        dialog.show();
        QTest::mouseClick(
            postpone ? part<QPushButton>(dialog, "postponeButton") : dialog.closeButton(),
            Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(started.count(), 0);
    }

    void continueSignalsBeforeClosing()
    {
        ConfirmDialog dialog(false);
        part<QCheckBox>(dialog, "confirmCheckBox")->click();
        bool visibleAtSignal = false;
        int resultAtSignal = -1;
        connect(&dialog, &ConfirmDialog::sendStartUpgrade, this, [&] {
            visibleAtSignal = dialog.isVisible();
            resultAtSignal = dialog.result();
        });
        dialog.show();
        QTest::mouseClick(part<QPushButton>(dialog, "continueButton"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(visibleAtSignal);
        QVERIFY(resultAtSignal != QDialog::Accepted);
    }

    void warningFollowsBackupSupport_data()
    {
        QTest::addColumn<bool>("backupSupported");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("absent");
        const QString backup = QStringLiteral(
            "During the upgrade process you will not be able to operate your computer. After the "
            "upgrade is complete, the computer will automatically restart. Please make sure you "
            "have saved your important files before checking the options below to continue the "
            "upgrade!");
        const QString noBackup = QStringLiteral(
            "Your system does not support backup and restore. If the system fails to start up "
            "after upgrade, it cannot be recovered. Confirm to continue the upgrade?");
        QTest::newRow("backup supported") << true << backup << noBackup;
        QTest::newRow("backup not supported") << false << noBackup << backup;
    }
    void warningFollowsBackupSupport()
    {
        QFETCH(bool, backupSupported);
        QFETCH(QString, shown);
        QFETCH(QString, absent);
        ConfirmDialog dialog(backupSupported);
        QStringList texts;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            texts << label->text();
        QVERIFY(texts.contains(shown));
        QVERIFY(!texts.contains(absent));
        QCOMPARE(part<QCheckBox>(dialog, "confirmCheckBox")->text(),
            QStringLiteral("I acknowledge and confirm to continue the upgrade"));
        QCOMPARE(part<QPushButton>(dialog, "postponeButton")->text(), "Postpone Upgrade");
        QCOMPARE(part<QPushButton>(dialog, "continueButton")->text(), "Continue Upgrade");
    }

    void guideKeepsItsShape_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("minimumLines");
        QTest::newRow("short title") << QStringLiteral("Restore") << 1;
        QTest::newRow("very long title")
            << QStringLiteral("How to restore the system after abnormal startup ").repeated(12)
            << 3;
    }
    void guideKeepsItsShape()
    {
        QFETCH(QString, title);
        QFETCH(int, minimumLines);
        LicenseDialog dialog(title);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), QSize(513, 455));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
        const auto titled = std::find_if(labels.cbegin(), labels.cend(),
            [&title](const QLabel *label) { return label->text() == title; });
        QVERIFY(titled != labels.cend());
        QVERIFY((*titled)->height() >= minimumLines * (*titled)->fontMetrics().lineSpacing());

        auto *area = dialog.findChild<QScrollArea *>();
        QCOMPARE(area->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        // The body is taller than its room, so the vertical bar takes a share of the width.
        QTRY_VERIFY_WITH_TIMEOUT(area->verticalScrollBar()->isVisible(), 2000);
        QCOMPARE(area->horizontalScrollBar()->maximum(), 0);

        QList<QSize> pictures;
        for (const QLabel *label : area->widget()->findChildren<QLabel *>()) {
            if (!label->pixmap(Qt::ReturnByValue).isNull())
                pictures << label->pixmap(Qt::ReturnByValue).size();
        }
        QCOMPARE(pictures, QList<QSize>({ QSize(433, 232) }));

        QAbstractButton *close = dialog.closeButton();
        QCOMPARE(dialog.childAt(close->mapTo(&dialog, close->rect().center())), close);
    }
};

QTEST_MAIN(tst_ConfirmDialog)
#include "tst_confirmdialog.moc"
