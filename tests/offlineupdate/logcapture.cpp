#include "logcapture.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex mutex;
QStringList captured;
QtMessageHandler previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker locker(&mutex);
        captured.append(message);
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

void LogCapture::install()
{
    previous = qInstallMessageHandler(capture);
}

QStringList LogCapture::messages()
{
    QMutexLocker locker(&mutex);
    return captured;
}

void LogCapture::clear()
{
    QMutexLocker locker(&mutex);
    captured.clear();
}
