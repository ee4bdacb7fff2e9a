#pragma once

#include <QPointer>
#include <QWidget>

class OfflineUpdateModel;
class QPushButton;

namespace Karvo {
class Label;
class Spinner;
} // namespace Karvo

// The checking page: a spinner and a waiting text while the daemon checks a package. When no
// report will come (the request could not reach the daemon, or the daemon went away), the page
// stops waiting, says why and offers the way back to the import page.
class OfflineUpdateCheckingWidget : public QWidget
{
    Q_OBJECT

public:
    // The spinner runs from construction until stopWaiting() or a failed check request.
    explicit OfflineUpdateCheckingWidget(OfflineUpdateModel *model, QWidget *parent = nullptr);
    ~OfflineUpdateCheckingWidget() override;

    void stopWaiting();
    void showFailure(const QString &text);

    // What showFailure() says when the check request did not reach the daemon, for |reason|.
    static QString notStartedText(const QString &reason);
    // What it says when the daemon left the bus before it reported.
    static QString serviceStoppedText();

signals:
    void backRequested();

private:
    void initUI();
    void initData();

    OfflineUpdateModel *m_model;
    QPointer<Karvo::Spinner> m_spinner;
    Karvo::Label *m_textLabel = nullptr;
    QPushButton *m_backButton = nullptr;
};
