#pragma once

#include <QPointer>
#include <QWidget>

class OfflineUpdateModel;

namespace Karvo {
class Label;
class Spinner;
} // namespace Karvo

// The checking page: a spinner and a waiting text while the daemon checks a package. If the
// check request cannot reach the daemon, the page stops waiting and says why.
class OfflineUpdateCheckingWidget : public QWidget
{
    Q_OBJECT

public:
    // The spinner runs from construction until stopWaiting() or a failed check request.
    explicit OfflineUpdateCheckingWidget(OfflineUpdateModel *model, QWidget *parent = nullptr);
    ~OfflineUpdateCheckingWidget() override;

    void stopWaiting();

public slots:
    void acceptOfflineCheckFailed(const QString &reason);

private:
    void initUI();
    void initData();

    OfflineUpdateModel *m_model;
    QPointer<Karvo::Spinner> m_spinner;
    Karvo::Label *m_textLabel = nullptr;
};
