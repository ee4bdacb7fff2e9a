#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QObject;
class RunContext;
struct CheckEnvironment;

// Mounting one squashfs image, named by a descriptor the daemon holds (so no path can be
// swapped under it), read-only, without set-user-ID programs or devices, on a mount point of
// a run directory. Every mount gets a loop device of its own, so that two users' mounts never
// hold each other busy; a device goes with its last mount.
namespace ImageMount {

using Done = std::function<void(bool mounted, const QString &error)>;

// |done| comes on the event loop, unless |context| is gone by then.
void mount(QObject *context, const CheckEnvironment &environment, int imageFd,
    const RunContext &run, const QByteArray &mountPoint, Done done);

} // namespace ImageMount
