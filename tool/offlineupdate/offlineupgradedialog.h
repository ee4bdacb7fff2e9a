#pragma once

#include "lineassembler.h"

#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class OfflineUpdateModel;
class QCloseEvent;
class QEvent;
class QProcess;
class QProgressBar;
class QResizeEvent;
class QPlainTextEdit;
class QTimer;
class ScreenSaverInhibitor;
class UpgradeWidget;

namespace Karvo {
class Label;
} // namespace Karvo

// The full-screen window that covers the desktop while the offline upgrade runs: the wallpaper
// under a dark layer, the logo, the stage and the progress, a power warning and the latest
// upgrade output.
// It drops every key press and release, so the user cannot work while the system changes.
class OfflineUpgradeDialog : public QWidget
{
    Q_OBJECT

public:
    // Shows itself full-screen at once; the caller raises it and grabs the keyboard for it.
    // Until it is closed it keeps the screen from blanking. The wallpaper comes in later.
    OfflineUpgradeDialog(OfflineUpdateModel *model, QWidget *parent);

    // The stage in words above the bar, and the percentage; a percentage below 0 leaves the
    // bar and the number as they were (a failure's code is none).
    void setUpgradeStage(const QString &stage, int percent);
    // Takes the next piece of the upgrade's output; the box shows the latest whole lines, and
    // the line still being written below them.
    void setUpgradeInfo(const QString &info);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void initUI();
    void initData();
    void setWarningDots(const QString &dots);
    void showPendingInfo();
    void updateBackground();
    void pressKey();

    OfflineUpdateModel *m_model;
    QImage m_wallpaper;
    QWidget *m_background = nullptr;
    UpgradeWidget *m_overlay = nullptr;
    Karvo::Label *m_stageLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    Karvo::Label *m_percentLabel = nullptr;
    Karvo::Label *m_warningLabel = nullptr;
    QPlainTextEdit *m_logEdit = nullptr;
    int m_dotCount = 0;
    LineAssembler m_lineAssembler;
    QStringList m_lines;
    QTimer *m_infoTimer = nullptr;
    QTimer *m_dotTimer = nullptr;
    QTimer *m_keyPressTimer = nullptr;
    ScreenSaverInhibitor *m_screenSaver = nullptr;
    QPointer<QProcess> m_keyPressProcess;
};
