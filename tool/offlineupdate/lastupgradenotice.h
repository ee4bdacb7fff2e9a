#pragma once

#include <QFrame>

struct HistoryEntry;
class DetailsDisclosure;
class QLabel;
class QPushButton;

namespace Karvo {
class Label;
} // namespace Karvo

// A panel on the import page that tells how the user's last upgrade ended when the tool was not
// there to see it: after a restart, or finished while the system started. It stays until the
// user dismisses it.
class LastUpgradeNotice : public QFrame
{
    Q_OBJECT

public:
    explicit LastUpgradeNotice(QWidget *parent = nullptr);

    void setEntry(const HistoryEntry &entry);
    QPushButton *dismissButton() const { return m_dismiss; }

private:
    QLabel *m_icon;
    Karvo::Label *m_title;
    Karvo::Label *m_message;
    DetailsDisclosure *m_details;
    QPushButton *m_dismiss;
};
