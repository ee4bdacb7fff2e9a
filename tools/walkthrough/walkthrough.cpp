#include "walkthrough.h"

#include "commandlinkbutton.h"
#include "confirmdialog.h"
#include "dialog.h"
#include "label.h"
#include "licensedialog.h"
#include "mainwindow.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupgradedialog.h"
#include "spinner.h"
#include "warningbutton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDebug>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QTableView>
#include <QPlainTextEdit>

namespace {

QString tableText(const OfflineCheckResultWidget *page)
{
    const QTableView *table = page->findChild<QTableView *>();
    if (!table->isVisibleTo(page)) {
        // Not any label: the package's file name is shown before the daemon has answered.
        const auto *failure = page->findChild<Karvo::Label *>(QStringLiteral("checkFailure"));
        return failure && failure->isVisibleTo(page) ? failure->text() : QString();
    }
    QStringList rows;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        rows.append(table->model()->index(row, 0).data().toString() + QStringLiteral(": ")
            + table->model()->index(row, 1).data().toString());
    return rows.join(QStringLiteral("; "));
}

} // namespace

Walkthrough::Walkthrough(
    MainWindow *window, Goal goal, const QString &shots, int timeoutSeconds, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_goal(goal)
    , m_shots(shots)
{
    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, &Walkthrough::poll);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(timeoutSeconds * 1000);
    connect(&m_deadline, &QTimer::timeout, this,
        [this] { finish(1, QStringLiteral("nothing more happened within the time limit")); });
}

void Walkthrough::start()
{
    m_poll.start();
    m_deadline.start();
}

// Runs on a timer, also inside the event loops of the modal dialogs, which is how it sees
// them. Controls that open a modal dialog are pressed from a fresh event, never from here, so
// that this function always returns at once.
void Walkthrough::poll()
{
    switch (m_step) {
    case WaitingForResult:
        if (m_goal == ExpectRefusal)
            waitForRefusal();
        else
            takeResult();
        break;
    case GuideOpen:
        handleGuide();
        break;
    case ConfirmationOpen:
        handleConfirmation();
        break;
    case Upgrading:
        watchUpgrade();
        break;
    case Restarting:
        watchRestart();
        break;
    case Done:
        break;
    }
}

template <typename Dialog> Dialog *Walkthrough::settledModal()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal != m_modal) {
        m_modal = modal;
        m_modalSince.start();
    }
    return modal && m_modalSince.elapsed() >= 500 ? qobject_cast<Dialog *>(modal) : nullptr;
}

void Walkthrough::waitForRefusal()
{
    auto *page = m_window->findChild<OfflineUpdateCheckingWidget *>();
    const auto *label = page ? page->findChild<Karvo::Label *>() : nullptr;
    if (m_window->findChild<OfflineCheckResultWidget *>())
        return finish(1, QStringLiteral("the check ran although it should have been refused"));
    if (!label || !label->text().contains(QLatin1String("authorization")))
        return;
    if (page->findChild<Karvo::Spinner *>()->isPlaying())
        return;
    shoot(QStringLiteral("check-refused"), m_window);
    finish(0);
}

void Walkthrough::takeResult()
{
    m_page = m_window->findChild<OfflineCheckResultWidget *>();
    // The page fills in once the daemon has answered its questions about the check.
    if (!m_page || tableText(m_page).isEmpty())
        return;
    qInfo().noquote() << "check result:" << tableText(m_page);
    shoot(QStringLiteral("result"), m_window);
    auto *acknowledgement = m_page->findChild<QCheckBox *>();
    if (m_goal == StopAtResult)
        return finish(0);
    if (!acknowledgement->isEnabled())
        return finish(1, QStringLiteral("the package did not pass its check"));

    acknowledgement->setChecked(true);
    if (m_goal == StopAtGuide || !m_shots.isEmpty()) {
        m_step = GuideOpen;
        QTimer::singleShot(
            0, m_page->findChild<Karvo::CommandLinkButton *>(), &Karvo::CommandLinkButton::click);
    } else {
        m_step = ConfirmationOpen;
        QTimer::singleShot(0, startButton(), &QAbstractButton::click);
    }
}

void Walkthrough::handleGuide()
{
    auto *guide = settledModal<LicenseDialog>();
    if (!guide)
        return;
    shoot(QStringLiteral("guide"), guide);
    guide->reject();
    if (m_goal == StopAtGuide)
        return finish(0);
    m_step = ConfirmationOpen;
    QTimer::singleShot(0, startButton(), &QAbstractButton::click);
}

// By name: "Restart now" is a suggested button on the same page.
QAbstractButton *Walkthrough::startButton() const
{
    return m_page->findChild<QAbstractButton *>(QStringLiteral("startUpgrade"));
}

void Walkthrough::handleConfirmation()
{
    auto *confirmation = settledModal<ConfirmDialog>();
    if (!confirmation)
        return;
    confirmation->findChild<QCheckBox *>()->setChecked(true);
    shoot(QStringLiteral("confirmation"), confirmation);
    if (m_goal == StopAtConfirmation) {
        confirmation->reject();
        return finish(0);
    }
    m_step = Upgrading;
    confirmation->findChild<Karvo::WarningButton *>()->click();
}

void Walkthrough::watchUpgrade()
{
    if (auto *failure = settledModal<Karvo::Dialog>()) {
        const QString message = failure->message();
        shoot(QStringLiteral("failure"), failure);
        failure->reject();
        return finish(1, QStringLiteral("the upgrade failed: ") + message);
    }
    auto *progress = m_page ? m_page->findChild<OfflineUpgradeDialog *>() : nullptr;
    if (!progress)
        return finish(1, QStringLiteral("confirming did not bring up the progress screen"));
    // Mid-upgrade: the backup has been asked for and some output has come.
    if (!m_progressShot && progress->isVisible()
        && progress->findChild<QProgressBar *>()->value() >= 30
        && progress->findChild<QPlainTextEdit *>()->document()->blockCount() >= 2) {
        m_progressShot = true;
        shoot(QStringLiteral("progress"), progress);
    }
    // The success state comes once the post-upgrade hooks have run; the user then chooses to
    // restart, which the session manager is asked for.
    auto *restart = m_page->findChild<QAbstractButton *>(QStringLiteral("restartNow"));
    if (restart && restart->isVisible()) {
        if (progress->isVisible())
            return finish(1, QStringLiteral("the progress screen stayed up after the upgrade"));
        shoot(QStringLiteral("finished"), m_window);
        restart->click();
        m_step = Restarting;
        m_restartSince.start();
    }
}

void Walkthrough::watchRestart()
{
    // The request is sent without waiting for its answer; ending at once could drop it.
    if (m_restartSince.elapsed() >= 1000)
        finish(0);
}

void Walkthrough::shoot(const QString &name, QWidget *widget)
{
    if (m_shots.isEmpty())
        return;
    // On a real display the screen shows dialogs over the window as the user sees them; other
    // platforms can only render the one widget.
    QPixmap picture = QGuiApplication::platformName() == QLatin1String("xcb")
        ? QGuiApplication::primaryScreen()->grabWindow(0)
        : widget->grab();
    const QString file = QDir(m_shots).filePath(
        QStringLiteral("%1-%2.png").arg(++m_shotCount, 2, 10, QLatin1Char('0')).arg(name));
    if (!picture.save(file))
        qWarning() << "cannot save" << file;
    else
        qInfo().noquote() << "saved" << file;
}

void Walkthrough::finish(int code, const QString &reason)
{
    if (m_step == Done)
        return;
    m_step = Done;
    m_poll.stop();
    m_deadline.stop();
    emit finished(code, reason);
}
