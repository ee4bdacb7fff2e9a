#pragma once

#include <QString>
#include <QTemporaryDir>

// The tool's settings schema compiled into a directory of the test's own, so that a test reads
// it through GSettings without anything being installed on the machine; and an empty data
// directory for runs in which no schema may be found at all.
class SchemaFixture
{
public:
    bool compile(QString *error);

    // Holds gschemas.compiled, for GSETTINGS_SCHEMA_DIR.
    QString schemaDir() const;
    // Holds nothing, for XDG_DATA_DIRS and XDG_DATA_HOME.
    QString emptyDataDir() const;

private:
    QTemporaryDir m_dir;
};
