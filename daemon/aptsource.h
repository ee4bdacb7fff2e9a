#pragma once

class QString;
class QStringList;

// The private apt source list holds one line of ours that points apt at the repository image
// mounted in the calling user's cache directory; every other line belongs to the
// administrator and is kept as it is.
namespace AptSource {

QString placeholderLine();

// "deb [trusted=yes] file://<home>/.cache/tevrin-offline-update/repo/ torak <components>"
QString sourceLine(const QString &homePath, const QStringList &components);

// Replaces every line of ours (the installed placeholder or a line an earlier check wrote, for
// whatever home directory) by |line|. |replaced| tells whether there was any.
QString pointAt(const QString &listText, const QString &line, bool *replaced = nullptr);

} // namespace AptSource
