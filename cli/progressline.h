#pragma once

#include <QString>

// The one line a terminal shows during an upgrade: the stage, a percentage and the package apt
// is working on. The service's pairs are coarse (30, 50, 100), so while apt runs the
// percentage also counts the packages apt has set up against the number the check announced.
class ProgressLine
{
public:
    explicit ProgressLine(int expectedPackages);

    void setProgress(int progress, int code);
    // A chunk of apt's output as the service relays it; lines may span chunks.
    void addOutput(const QString &chunk);

    QString text() const;
    int percent() const;
    QString currentPackage() const { return m_package; }

    static QString stageText(int progress, int code);
    // The package an apt or dpkg output line names, or empty.
    static QString packageNamedIn(const QString &line);

private:
    void addLine(const QString &line);

    int m_expected;
    int m_progress = 0;
    int m_code = 1;
    bool m_upgrading = false;
    int m_setUp = 0;
    QString m_package;
    QString m_partialLine;
};
