#pragma once

#include <QPointer>
#include <QWidget>

struct UserMessage;
class DetailsDisclosure;
class OfflineUpdateModel;
class QPushButton;

namespace Karvo {
class Label;
class Spinner;
} // namespace Karvo

// The checking page: a spinner, a waiting text and the package's file name while the daemon
// checks a package. When no report will come (the request could not reach the daemon, or the
// daemon went away), the page stops waiting, says why and offers the way back to choose
// another package.
class OfflineUpdateCheckingWidget : public QWidget
{
    Q_OBJECT

public:
    // The spinner runs from construction until stopWaiting() or a failed check request.
    explicit OfflineUpdateCheckingWidget(OfflineUpdateModel *model, QWidget *parent = nullptr);
    ~OfflineUpdateCheckingWidget() override;

    void setPackageFile(const QString &path);
    void stopWaiting();
    void showFailure(const UserMessage &message);

    // What showFailure() says when the daemon left the bus before it reported.
    static QString serviceStoppedText();

protected:
    void keyPressEvent(QKeyEvent *event) override;

signals:
    void backRequested();

private:
    void initUI();
    void initData();

    OfflineUpdateModel *m_model;
    QPointer<Karvo::Spinner> m_spinner;
    Karvo::Label *m_textLabel = nullptr;
    Karvo::Label *m_packageLabel = nullptr;
    DetailsDisclosure *m_details = nullptr;
    QPushButton *m_backButton = nullptr;
};
