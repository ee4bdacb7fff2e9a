#pragma once

#include <QString>

class QByteArray;

// Mounts a file-system image and unmounts it again through open descriptors, handed to the
// mount programs as /proc/self/fd paths: the paths the kernel acts on cannot be swapped for a
// symbolic link between the daemon's checks and the mount. Images are mounted read-only,
// without set-user-ID programs and without device nodes.
//
// Every mount gets a loop device of its own. Left to itself, mount shares one read-only loop
// device among all mounts of the same image file; two users who checked the same package then
// hold each other's images busy, and neither can clear their cache directory again.
class ImageMounter
{
public:
    ImageMounter(const QString &mountProgram, const QString &umountProgram,
                 const QString &losetupProgram);

    // Returns false only when "mount" could not be run to its end within |timeoutMs| (-1 for no
    // limit), with the process's error text in |error|; whether the image was mounted shows in
    // the target directory afterwards.
    bool mount(int imageFd, int targetDirFd, int timeoutMs, QString *error) const;

    // Unmounts what is mounted on the directory |name| below |parentFd|; a failure (nothing
    // mounted, or busy) is not an error.
    void unmount(int parentFd, const QByteArray &name) const;

private:
    QString m_mountProgram;
    QString m_umountProgram;
    QString m_losetupProgram;
};
