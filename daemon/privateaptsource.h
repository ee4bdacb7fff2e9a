#pragma once

#include <QStringList>

struct CheckEnvironment;

// The daemon's own apt configuration: the private source list and lists directory, which
// hold nothing but what the last passed check pointed them at, and the options that keep apt
// to them and away from the system's own sources.
namespace PrivateAptSource {

// The source line for the repository mounted at |repository|, with every component below its
// pool; empty when no line can name it.
QString lineFor(const QString &repository, const QString &signedBy);
// Points the list's line of ours at |line|, keeping the administrator's lines; made with the
// placeholder when missing, and never left half written for the upgrade to read.
bool write(const CheckEnvironment &environment, const QString &line, QString *error);
// Empties the lists directory, so that the index is rebuilt from this package alone.
bool clearLists(const CheckEnvironment &environment, QString *error);
// apt's options for the private list and lists directory, then |command|.
QStringList arguments(const CheckEnvironment &environment, const QStringList &command);

} // namespace PrivateAptSource
