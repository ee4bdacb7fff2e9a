#pragma once

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
class QTextEdit;
class QTimer;
class ScreenSaverInhibitor;
class UpgradeWidget;

namespace Karvo {
class Label;
} // namespace Karvo

// The full-screen window that covers the desktop while the offline upgrade runs: the wallpaper
// under a dark layer, the logo, the progress, a power warning and the latest upgrade output.
// It drops every key press and release, so the user cannot work while the system changes.
class OfflineUpgradeDialog : public QWidget
{
    Q_OBJECT

public:
    // Shows itself full-screen at once; the caller raises it and grabs the keyboard for it.
    // Until it is closed it keeps the screen from blanking. The wallpaper comes in later.
    OfflineUpgradeDialog(OfflineUpdateModel *model, QWidget *parent);

    void setUpgradeProgress(int progress);
    // Appends |info| as a new paragraph; only the latest lines are kept.
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
    QProgressBar *m_progressBar = nullptr;
    Karvo::Label *m_percentLabel = nullptr;
    Karvo::Label *m_warningLabel = nullptr;
    QTextEdit *m_logEdit = nullptr;
    int m_dotCount = 0;
    QStringList m_pendingInfo;
    QTimer *m_infoTimer = nullptr;
    QTimer *m_dotTimer = nullptr;
    QTimer *m_keyPressTimer = nullptr;
    ScreenSaverInhibitor *m_screenSaver = nullptr;
    QPointer<QProcess> m_keyPressProcess;
};
