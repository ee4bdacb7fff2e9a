#pragma once

#include <QString>

class QStringList;

// The private apt source list holds one line of ours that points apt at the repository image
// mounted for the calling user; every other line belongs to the administrator and is kept as it
// is. The components come from directory names inside a package, so a line is only ever built
// from names that cannot break it apart.
namespace AptSource {

QString placeholderLine();

// "file://<percent-encoded directory>/": apt splits a source line at blanks, and reads the
// percent-encoded form of a file URI's path.
QString repositoryUri(const QString &directoryPath);

// An archive component apt can take as one word of a source line: [A-Za-z0-9._+-]+, but not
// "." or "..".
bool validComponent(const QString &name);

// "deb [trusted=yes] <repositoryUri> torak <components>", or with [signed-by=<signedBy>] when
// a keyring is given. Empty when a component is not valid, or the URI or keyring path holds
// a blank, a "]" or a control character.
QString sourceLine(const QString &repositoryUri, const QStringList &components,
    const QString &signedBy = QString());

// Replaces the first line of ours (the installed placeholder, a line an earlier version wrote
// into a user's cache directory, or one for any user's run directory) by |line| and drops any
// further line of ours; the administrator's lines stay as they are. |replaced| tells whether
// there was a line of ours. A |line| that is empty or holds a line break changes nothing.
QString pointAt(const QString &listText, const QString &line, bool *replaced = nullptr);

} // namespace AptSource
