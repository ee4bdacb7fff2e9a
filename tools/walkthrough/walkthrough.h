#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class MainWindow;
class QAbstractButton;
class OfflineCheckResultWidget;
class QWidget;

// Walks the tool's window through one offline upgrade as a user would: waits for the check
// result, opens the recovery guide, confirms, watches the progress screen and, in the success
// state, chooses to restart. It only presses the controls a user presses, so whatever it reaches works for a user
// too. Optionally saves a picture of every step.
class Walkthrough : public QObject
{
    Q_OBJECT

public:
    enum Goal { ExpectRefusal, StopAtResult, StopAtGuide, StopAtConfirmation, Upgrade };

    // |shots| empty: no pictures.
    Walkthrough(MainWindow *window, Goal goal, const QString &shots, int timeoutSeconds,
        QObject *parent = nullptr);

    void start();

signals:
    // 0 when the goal was reached; the reason otherwise.
    void finished(int code, const QString &reason);

private:
    enum Step { WaitingForResult, GuideOpen, ConfirmationOpen, Upgrading, Restarting, Done };

    void poll();
    // The modal dialog up now, once it has been up long enough to have been painted.
    template <typename Dialog> Dialog *settledModal();
    void waitForRefusal();
    void takeResult();
    void handleGuide();
    void handleConfirmation();
    void watchUpgrade();
    void watchRestart();
    QAbstractButton *startButton() const;
    void shoot(const QString &name, QWidget *widget);
    void finish(int code, const QString &reason = QString());

    MainWindow *m_window;
    const Goal m_goal;
    const QString m_shots;
    int m_shotCount = 0;
    Step m_step = WaitingForResult;
    QPointer<OfflineCheckResultWidget> m_page;
    bool m_progressShot = false;
    QPointer<QWidget> m_modal;
    QElapsedTimer m_modalSince;
    QElapsedTimer m_restartSince;
    QTimer m_poll;
    QTimer m_deadline;
};
