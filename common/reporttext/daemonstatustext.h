#pragma once

#include <QCoreApplication>
#include <QString>

// The daemon's status texts among the upgrade's output. It sends them in Chinese whatever the
// caller's language, and keeps doing so for callers that show them as they come; these
// clients show them in their user's language instead.
class DaemonStatusText
{
    Q_DECLARE_TR_FUNCTIONS(DaemonStatusText)

public:
    // The sentence for |text| when it is one of the daemon's status texts, exactly as sent;
    // a null string for anything else (apt's output), which is shown as it came.
    static QString translated(const QString &text);
};
