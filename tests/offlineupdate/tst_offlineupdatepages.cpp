// Tests the import page and the checking page on their own.
// Faults caught here:
// - the import page taking a path without ".oup", or matching ".oup" case-insensitively or only
//   as the suffix (a copy named "update.oup.bak" must be taken, "UPDATE.OUP" must not), or
//   treating a cancelled file dialog's empty path as a package;
// - the import button not opening the file dialog with its caption and "oup Files (*.oup)"
//   filter, or the picked file not reaching the model;
// - texts other than the ones translators and users were promised, and sizes other than the
//   button's fixed 200 px and the spinner's 100 x 100;
// - a checking page whose spinner does not run from the start, keeps running after
//   stopWaiting() or after a failed request, or that hides the reason of the failure.
#include "fontsizemanager.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatewidget.h"
#include "spinner.h"
#include "suggestbutton.h"
#include "testbuses.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class tst_OfflineUpdatePages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void importAcceptsPackages_data();
    void importAcceptsPackages();
    void importDialog();
    void promisedTextsAndSizes();
    void checkingPageWaits_data();
    void checkingPageWaits();

private:
    TestBuses m_buses;
};

void tst_OfflineUpdatePages::initTestCase()
{
    // The model reaches for both buses when it is made; these are the test's own.
    QString error;
    QVERIFY2(m_buses.start(&error), qPrintable(error));
}

void tst_OfflineUpdatePages::importAcceptsPackages_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("package") << QStringLiteral("/media/usb/update.oup") << true;
    QTest::newRow("backup copy of a package") << QStringLiteral("/tmp/x.oup.bak") << true;
    QTest::newRow("capital suffix") << QStringLiteral("/media/usb/UPDATE.OUP") << false;
    QTest::newRow("cancelled dialog") << QString() << false;
    QTest::newRow("ISO image") << QStringLiteral("/media/usb/system.iso") << false;
    QTest::newRow("oup without a dot") << QStringLiteral("/media/usb/oupdate") << false;
}

void tst_OfflineUpdatePages::importAcceptsPackages()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);

    OfflineUpdateModel model;
    OfflineUpdateWidget page(&model);
    QSignalSpy taken(&model, &OfflineUpdateModel::notifyCheckFilePath);
    page.setOfflineUpdateFile(path);
    QCOMPARE(QList<QVariantList>(taken),
        accepted ? QList<QVariantList> { { path } } : QList<QVariantList>());
}

void tst_OfflineUpdatePages::importDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString package = dir.filePath(QStringLiteral("update.oup"));
    QFile file(package);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    OfflineUpdateModel model;
    OfflineUpdateWidget page(&model);
    page.show();
    QSignalSpy taken(&model, &OfflineUpdateModel::notifyCheckFilePath);

    QString caption;
    QStringList filters;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        driver.stop();
        caption = dialog->windowTitle();
        filters = dialog->nameFilters();
        // As typed by the user: selectFile() leaves the name field alone once it has the
        // focus, which it gets at a moment of its own.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(package);
        static_cast<QDialog *>(dialog)->accept(); // protected in QFileDialog
    });
    driver.start(20);
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, this, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    giveUp.start(10000);

    QTest::mouseClick(page.findChild<Karvo::SuggestButton *>(), Qt::LeftButton);
    QVERIFY2(!driver.isActive(), "no file dialog came up");
    QCOMPARE(caption, QStringLiteral("Import offline file (.oup)"));
    QCOMPARE(filters, QStringList { QStringLiteral("oup Files (*.oup)") });
    QCOMPARE(QList<QVariantList>(taken), QList<QVariantList> { { package } });
}

void tst_OfflineUpdatePages::promisedTextsAndSizes()
{
    OfflineUpdateModel model;
    OfflineUpdateWidget importPage(&model);
    auto *button = importPage.findChild<Karvo::SuggestButton *>();
    QCOMPARE(button->text(), QStringLiteral("Import offline file (.oup)"));
    QCOMPARE(button->minimumWidth(), 200);
    QCOMPARE(button->maximumWidth(), 200);

    OfflineUpdateCheckingWidget checkingPage(&model);
    auto *spinner = checkingPage.findChild<Karvo::Spinner *>();
    QCOMPARE(spinner->minimumSize(), QSize(100, 100));
    QCOMPARE(spinner->maximumSize(), QSize(100, 100));
    auto *label = checkingPage.findChild<QLabel *>();
    // Bound to the body size, not merely given its font once: a new base size reaches it.
    Karvo::FontSizeManager *fonts = Karvo::FontSizeManager::instance();
    const QFont before = label->font();
    fonts->setBaseFontSize(23);
    const QFont body = fonts->get(Karvo::FontSizeManager::T6);
    QVERIFY(body != before);
    QTRY_COMPARE(label->font().pixelSize(), body.pixelSize());
    QCOMPARE(label->font().pointSizeF(), body.pointSizeF());
}

void tst_OfflineUpdatePages::checkingPageWaits_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("spinning");
    QTest::addColumn<bool>("spinnerShown");
    QTest::addColumn<QString>("text");

    const QString waiting = QStringLiteral("Upgrade package detection in progress, please wait");
    QTest::newRow("checking") << QString() << true << true << waiting;
    QTest::newRow("report arrived") << QStringLiteral("stop") << false << true << waiting;
    QTest::newRow("request refused")
        << QStringLiteral("fail") << false << false
        << QStringLiteral("The package check could not be started: the offline update service is "
                          "not installed or not running");
}

void tst_OfflineUpdatePages::checkingPageWaits()
{
    QFETCH(QString, event);
    QFETCH(bool, spinning);
    QFETCH(bool, spinnerShown);
    QFETCH(QString, text);

    OfflineUpdateModel model;
    OfflineUpdateCheckingWidget page(&model);
    page.show();
    if (event == QLatin1String("stop"))
        page.stopWaiting();
    else if (event == QLatin1String("fail"))
        emit model.notifyOfflineCheckFailed(
            QStringLiteral("the offline update service is not installed or not running"));

    auto *spinner = page.findChild<Karvo::Spinner *>();
    QCOMPARE(spinner->isPlaying(), spinning);
    QCOMPARE(spinner->isVisible(), spinnerShown);
    QCOMPARE(page.findChild<QLabel *>()->text(), text);
}

QTEST_MAIN(tst_OfflineUpdatePages)
#include "tst_offlineupdatepages.moc"
