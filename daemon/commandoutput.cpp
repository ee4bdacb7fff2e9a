#include "commandoutput.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace CommandOutput {

QString decode(const QByteArray &output)
{
    const int nul = output.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? output : output.left(nul)).trimmed();
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setReadChannel(QProcess::StandardOutput);
    process.start(program, arguments, QIODevice::ReadOnly);
    process.waitForStarted(WaitMs);
    process.waitForFinished(WaitMs);
    return decode(process.readAllStandardOutput());
}

} // namespace CommandOutput
