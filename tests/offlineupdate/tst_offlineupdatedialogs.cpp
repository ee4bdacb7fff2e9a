// Tests the confirmation and the upgrade progress dialog on their own (the progress dialog with
// a scripted screen saver on a private session bus). Faults caught here:
// - continuing possible before the acknowledgement box is ticked (also on a later confirmation)
//   or after unticking; postponing starting the upgrade; sendStartUpgrade emitted after the
//   confirmation has closed, so that the progress dialog would come up late;
// - a progress dialog that does not cover the screen; key presses or releases it reports as
//   handled, that close it or type into its log box;
// - screen blanking not held off through the screen saver, or not let go on close; synthetic
//   key presses while a screen saver service answers, or none without one;
// - upgrade output broken where the daemon's pieces end, a status sentence glued to the output
//   after it, a terminal's carriage return shown as text, or a log box that cuts a line;
// - a dialog whose text or controls do not fit (the longest English and Chinese texts, at the
//   usual and a large font size; run again at scale 2), such as one of a fixed size, or Return
//   that postpones the confirmed upgrade; a progress screen whose stage (a long package name
//   among many packages) is cut;
// - pictures blurred on a screen scaled by two;
// - a confirmation that does not state the plan's counts, or does not name a package it removes
//   or a configuration file it replaces; one that speaks of a plan the daemon did not give.
#include "confirmdialog.h"
#include "cuttexts.h"
#include "dialog.h"
#include "fontsizemanager.h"
#include "detailsdisclosure.h"
#include "licensedialog.h"
#include "offlinecheckresultwidget.h"
#include "lineassembler.h"
#include "packagerequestdialog.h"
#include "usermessage.h"
#include "offlineupgradedialog.h"
#include "reporttexttranslation.h"
#include "scriptedservice.h"
#include "testbuses.h"
#include "upgradeplandialog.h"
#include "upgradeplantree.h"
#include "offlineupdateprotocol.h"
#include "upgradestagetext.h"

#include <QCheckBox>
#include <QLabel>
#include <QTranslator>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidgetItemIterator>
#include <QPlainTextEdit>
#include <QScreen>
#include <QtTest>
#include <memory>

namespace {

using namespace OfflineUpdate;

// A plan as large as the dialogs must hold: long names and paths, every part.
UpgradePlan largePlan()
{
    UpgradePlan plan;
    for (int i = 0; i < 40; ++i)
        plan.upgraded.append({ QStringLiteral("libreoffice-l10n-zh-cn-%1").arg(i), "amd64",
            "4:7.4.7-1+deb12u3", "4:7.4.7-1+deb12u8" });
    plan.installed = { { "linux-image-6.1.0-31-amd64", "amd64", "", "6.1.128-1" } };
    plan.removed = { { "oldpkg", "all", "0.9", "" },
        { "python3-distutils-extra-legacy-tools", "all", "2.45-2", "" } };
    plan.keptBack = QStringList { QStringLiteral("firmware-misc-nonfree") };
    plan.interrupted = QStringList { QStringLiteral("libc-bin") };
    plan.replacedConfigFiles = { { "openssh-server", "/etc/ssh/sshd_config" },
        { "network-manager", "/etc/NetworkManager/conf.d/default-wifi-powersave-on.conf" } };
    plan.space = { { "/", qint64(3) << 29, qint64(5) << 30 },
        { "/boot", 80 << 20, 300 << 20 } };
    return plan;
}

} // namespace

class tst_OfflineUpdateDialogs : public QObject
{
    Q_OBJECT

    TestBuses m_buses;

private slots:
    void initTestCase() { QCOMPARE(m_buses.start(), QString()); }

    void confirmation_data()
    {
        // Clicks: t = the acknowledgement box, c = continue, p = postpone.
        QTest::addColumn<bool>("backupSupported");
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<bool>("started");
        // Before the unticked rows, so that a state kept from one dialog to the next shows.
        QTest::newRow("ticked") << true << "tc" << true;
        QTest::newRow("not ticked") << true << "c" << false;
        QTest::newRow("ticked and unticked") << false << "ttc" << false;
        QTest::newRow("postponed") << true << "tp" << false;
    }

    void confirmation()
    {
        QFETCH(bool, backupSupported);
        QFETCH(QString, clicks);
        QFETCH(bool, started);
        ConfirmDialog dialog(backupSupported);
        dialog.show();
        QStringList seen;
        connect(&dialog, &ConfirmDialog::sendStartUpgrade, this, [&] {
            seen << QStringLiteral("started, shown %1, accepted %2")
                        .arg(int(dialog.isVisible()))
                        .arg(int(dialog.result() == QDialog::Accepted));
        });
        for (const QChar click : clicks) {
            const char *name = click == 't' ? "confirmCheckBox"
                : click == 'c'              ? "continueButton"
                                            : "postponeButton";
            QTest::mouseClick(
                dialog.findChild<QAbstractButton *>(QLatin1String(name)), Qt::LeftButton);
        }
        QCOMPARE(seen, started ? QStringList { "started, shown 1, accepted 0" } : QStringList());
        QCOMPARE(dialog.isVisible(), !started && !clicks.contains('p'));
        QCOMPARE(dialog.result() == QDialog::Accepted, started);
    }

    void confirmationNamesLosses_data()
    {
        QTest::addColumn<UpgradePlan>("plan");
        QTest::addColumn<QString>("summary"); // empty: none shown
        QTest::addColumn<QStringList>("lines"); // the removals and replaced files listed
        UpgradePlan losses;
        losses.upgraded = { { "libc6", "amd64", "2.36", "2.37" } };
        losses.removed = { { "oldpkg", "all", "0.9", "" } };
        losses.replacedConfigFiles = { { "openssh-server", "/etc/ssh/sshd_config" } };
        UpgradePlan upgradesOnly;
        upgradesOnly.upgraded = losses.upgraded;
        upgradesOnly.space = { { "/", 1 << 30, qint64(4) << 30 } };
        QTest::newRow("a removal and a replaced file")
            << losses << "The upgrade changes: 1 upgraded, 1 removed."
            << QStringList { "Removed (1)", "oldpkg 0.9", "Replaced configuration files (1)",
                   "/etc/ssh/sshd_config (openssh-server)" };
        QTest::newRow("upgrades only")
            << upgradesOnly << "The upgrade changes: 1 upgraded." << QStringList();
        QTest::newRow("no plan") << UpgradePlan() << "" << QStringList();
    }

    void confirmationNamesLosses()
    {
        QFETCH(UpgradePlan, plan);
        QFETCH(QString, summary);
        QFETCH(QStringList, lines);
        ConfirmDialog dialog(true, plan);
        auto *shownSummary = dialog.findChild<QLabel *>(QStringLiteral("planSummary"));
        QCOMPARE(shownSummary ? shownSummary->text() : QString(), summary);
        QStringList shownLines;
        if (auto *tree = dialog.findChild<UpgradePlanTree *>()) {
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                shownLines << (*it)->text(0);
        }
        QCOMPARE(shownLines, lines);
        // Where the user's own versions went, wherever a file is replaced.
        QCOMPARE(bool(dialog.findChild<QLabel *>(QStringLiteral("replacedFilesNote"))),
            !plan.replacedConfigFiles.isEmpty());
    }

    void keysSwallowed_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "\x1b";
        QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier) << QString();
    }

    void keysSwallowed()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        OfflineUpgradeDialog dialog(nullptr, nullptr);
        QVERIFY(dialog.isFullScreen());
        auto *logBox = dialog.findChild<QPlainTextEdit *>();
        dialog.setUpgradeInfo(QStringLiteral("Unpacking base-files"));
        QTRY_COMPARE(logBox->toPlainText(), QStringLiteral("Unpacking base-files"));
        for (const QEvent::Type type : { QEvent::KeyPress, QEvent::KeyRelease }) {
            QKeyEvent event(type, key, Qt::KeyboardModifiers(modifiers), text);
            QVERIFY(!QCoreApplication::sendEvent(&dialog, &event));
            QCoreApplication::sendEvent(logBox, &event);
        }
        QVERIFY(dialog.isVisible());
        QCOMPARE(logBox->toPlainText(), QStringLiteral("Unpacking base-files"));
    }

    void wholeLines_data()
    {
        // Pieces as the daemon sends them, joined by '|'; the lines shown, joined by '/'.
        QTest::addColumn<QString>("pieces");
        QTest::addColumn<QString>("lines");
        QTest::newRow("cut mid-word") << "Get:1 base-files\nUnpack|ing base-files (13)\n"
                                      << "Get:1 base-files/Unpacking base-files (13)";
        QTest::newRow("status sentences")
            << "开始进行系统升级...|Reading package lists...\n|系统备份完成"
            << "开始进行系统升级.../Reading package lists.../系统备份完成";
        QTest::newRow("open line shown") << "Setting up a\nSetting up b"
                                         << "Setting up a/Setting up b";
        QTest::newRow("carriage returns") << "Progress: 10%\rProgress: 20%\r\nDone\r\n"
                                          << "Progress: 20%/Done";
    }

    void wholeLines()
    {
        QFETCH(QString, pieces);
        QFETCH(QString, lines);
        OfflineUpgradeDialog dialog(nullptr, nullptr);
        auto *logBox = dialog.findChild<QPlainTextEdit *>();
        for (const QString &piece : pieces.split('|'))
            dialog.setUpgradeInfo(piece);
        QTRY_COMPARE(logBox->toPlainText(), QString(lines).replace('/', '\n'));
        // Eleven more lines: the box shows whole lines only, the newest at the bottom.
        for (int line = 0; line < 11; ++line)
            dialog.setUpgradeInfo(QStringLiteral("Unpacking package%1 ...\n").arg(line));
        QTRY_VERIFY(logBox->toPlainText().endsWith(QLatin1String("package10 ...")));
        const QRect viewport = logBox->viewport()->rect();
        const QTextBlock first = logBox->cursorForPosition(QPoint(0, 0)).block();
        QCOMPARE(logBox->cursorRect(QTextCursor(first)).top(), 0);
        const QTextBlock last = logBox->document()->lastBlock();
        QVERIFY(logBox->cursorRect(QTextCursor(last)).bottom() < viewport.bottom() + 1);
        QVERIFY(viewport.height() % logBox->fontMetrics().lineSpacing() == 0);
    }

    void dialogTextFits_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("baseFontSize");
        // The desktop's usual body text and the larger one a user with poor sight picks.
        for (const int baseFontSize : { int(Karvo::FontSizeManager::DefaultBaseFontSize), 20 }) {
            for (const char *language : { "en", "zh_CN" }) {
                for (const char *dialog : { "confirm with backup", "confirm without backup",
                         "confirm with a plan", "plan", "failure", "package request",
                         "progress" })
                    QTest::newRow(qPrintable(
                        QStringLiteral("%1, %2, %3 px").arg(dialog, language).arg(baseFontSize)))
                        << dialog << language << baseFontSize;
            }
        }
    }

    // Each label's text needs no more room than the label has, every control gets the width
    // its text needs, and all of them lie within the dialog: nothing is cut at any edge.
    void dialogTextFits()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, language);
        QFETCH(int, baseFontSize);
        // Dialogs never grow beyond the screen; on one smaller than the tool's own window (the
        // offscreen platform's at scale 2) a cut text would say nothing about the dialog.
        const QSize screen = QGuiApplication::primaryScreen()->availableSize();
        if (screen.width() < 740 || screen.height() < 550)
            QSKIP(qPrintable(QStringLiteral("the screen has only %1x%2 logical pixels")
                                 .arg(screen.width())
                                 .arg(screen.height())));
        // As the tool's application object sets it: unbound widgets take the body size too.
        Karvo::FontSizeManager *fonts = Karvo::FontSizeManager::instance();
        const QFont applicationFont = QApplication::font();
        fonts->setBaseFontSize(baseFontSize);
        QApplication::setFont(fonts->get(Karvo::FontSizeManager::T6));
        const auto restoreFonts = qScopeGuard([&] {
            fonts->setBaseFontSize(Karvo::FontSizeManager::DefaultBaseFontSize);
            QApplication::setFont(applicationFont);
        });
        QTranslator translator;
        if (language != QLatin1String("en")) {
            QVERIFY(translator.load(QStringLiteral("tevrin-offline-update-tool_") + language,
                qEnvironmentVariable("TEVRIN_BINARY_DIR") + QStringLiteral("/tool/translations")));
            QCoreApplication::installTranslator(&translator);
        }
        // What both clients say comes from the report text library, which carries its own.
        ReportTextTranslation::load(QLocale(language));
        const auto restoreLanguage
            = qScopeGuard([] { ReportTextTranslation::load(QLocale(QLocale::English)); });
        std::unique_ptr<QWidget> shown;
        if (dialog == QLatin1String("progress")) {
            // The longest stage: a long package name, many packages.
            auto progress = std::make_unique<OfflineUpgradeDialog>(nullptr, nullptr);
            progress->setUpgradeStage(UpgradeStageText::forStage(OfflineUpdate::UpgradeStage::Upgrade, 1234, 2345,
                                          QStringLiteral("libreoffice-l10n-zh-cn-help-extras")),
                57);
            shown = std::move(progress);
        } else if (dialog == QLatin1String("confirm with a plan")) {
            shown = std::make_unique<ConfirmDialog>(true, largePlan());
        } else if (dialog == QLatin1String("plan")) {
            shown = std::make_unique<UpgradePlanDialog>(largePlan());
        } else if (dialog.startsWith(QLatin1String("confirm"))) {
            shown = std::make_unique<ConfirmDialog>(dialog.endsWith(QLatin1String("with backup")));
        } else if (dialog == QLatin1String("package request")) {
            shown = std::make_unique<PackageRequestDialog>(QStringLiteral(
                "/home/a-user-with-a-long-name/Downloads/offline-update-2026-03-cve-patch-amd64.oup"));
        } else {
            // The longest failure the page shows, with its details open.
            shown.reset(OfflineCheckResultWidget::newFailureDialog(
                { QCoreApplication::translate("UpgradeFlow",
                      "The offline update service stopped during the upgrade. The system may be "
                      "partly upgraded: have it checked before you restart it."),
                    QStringLiteral("E: Sub-process /usr/bin/dpkg returned an error code (1)\n"
                                   "snapshot of / refused: the file system is read-only") }));
            shown->findChild<DetailsDisclosure *>()->setExpanded(true);
        }
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
        QVERIFY(!shown->findChildren<QLabel *>().isEmpty());
        const QStringList cut = cutTexts(shown.get());
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
        QCoreApplication::removeTranslator(&translator);
    }

    void sharpPictures_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::newRow("logo") << "Tevrin logo";
        QTest::newRow("boot menu") << "The boot menu with the restore entry selected";
    }

    // On a screen scaled by two a picture drawn for scale 1 is blown up and blurred; run at
    // scale 2, this needs the "@2x" pictures.
    void sharpPictures()
    {
        QFETCH(QString, picture);
        // As the tool's main() sets it.
        QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
        std::unique_ptr<QWidget> shown;
        if (picture == QLatin1String("Tevrin logo"))
            shown = std::make_unique<OfflineUpgradeDialog>(nullptr, nullptr);
        else
            shown = std::make_unique<LicenseDialog>(QStringLiteral("Restoring the system"));
        QLabel *label = nullptr;
        for (QLabel *candidate : shown->findChildren<QLabel *>())
            if (candidate->accessibleName() == picture)
                label = candidate;
        QVERIFY(label);
        const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
        const qreal scale = qApp->devicePixelRatio();
        QVERIFY2(pixmap.width() >= label->width() * scale && pixmap.height() >= label->height() * scale,
            qPrintable(QStringLiteral("%1x%2 pixels for %3x%4 at scale %5")
                           .arg(pixmap.width())
                           .arg(pixmap.height())
                           .arg(label->width())
                           .arg(label->height())
                           .arg(scale)));
    }

    // Return with the box ticked continues; with the focus on "Postpone Upgrade" it postpones.
    void confirmationReturn_data()
    {
        QTest::addColumn<bool>("postponeFocused");
        QTest::newRow("box ticked") << false;
        QTest::newRow("postpone focused") << true;
    }

    void confirmationReturn()
    {
        QFETCH(bool, postponeFocused);
        ConfirmDialog dialog(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QSignalSpy started(&dialog, &ConfirmDialog::sendStartUpgrade);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(dialog.findChild<QCheckBox *>()->isChecked());
        if (postponeFocused)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(started.count(), postponeFocused ? 0 : 1);
        QVERIFY(!dialog.isVisible());
    }

    void screenKeptOn_data()
    {
        QTest::addColumn<bool>("screenSaverRuns");
        QTest::newRow("screen saver service") << true;
        QTest::newRow("none: key presses instead") << false;
    }

    void screenKeptOn()
    {
        QFETCH(bool, screenSaverRuns);
        ScriptedService screenSaver(
            m_buses.sessionAddress(), QStringLiteral("org.freedesktop.ScreenSaver"));
        screenSaver.setReply(QStringLiteral("Inhibit"), answer({ 4242u }, 100));
        if (screenSaverRuns)
            QCOMPARE(screenSaver.start(), QString());
        auto dialog = std::make_unique<OfflineUpgradeDialog>(nullptr, nullptr);
        auto *keys = dialog->findChild<QTimer *>(QStringLiteral("keyPressTimer"));
        QTest::qWait(500);
        QCOMPARE(keys->isActive(), !screenSaverRuns);
        QCOMPARE(
            screenSaver.members(), screenSaverRuns ? QStringList { "Inhibit" } : QStringList());
        dialog->close();
        dialog.reset();
        if (!screenSaverRuns)
            return;
        QTRY_COMPARE(screenSaver.members(), QStringList({ "Inhibit", "UnInhibit" }));
        QCOMPARE(screenSaver.calls().last().arguments, QVariantList { 4242u });
    }
};

QTEST_MAIN(tst_OfflineUpdateDialogs)
#include "tst_offlineupdatedialogs.moc"
