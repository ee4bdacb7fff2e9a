#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Hands every modal dialog that comes up to |handle| while it lives. Dialogs run with exec()
// cannot be waited for with QTRY_*, which would sit inside the dialog's own event loop until
// the dialog closed.
class ModalHandler : public QObject
{
public:
    explicit ModalHandler(std::function<void(QDialog *)> handle)
        : m_handle(std::move(handle))
    {
        m_timer.callOnTimeout(this, [this] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                m_handle(dialog);
        });
        m_timer.start(20);
    }

private:
    std::function<void(QDialog *)> m_handle;
    QTimer m_timer;
};
