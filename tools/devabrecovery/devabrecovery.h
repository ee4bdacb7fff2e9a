#pragma once

#include "devabrecoveryoptions.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>

// Stand-in for the machine's A/B recovery service. It answers as its options say and reports
// every event as one line on standard output, so that a test or a person can follow it.
class DevABRecovery : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;
    static const QString ErrorName;

    explicit DevABRecovery(const DevABRecoveryOptions &options, QObject *parent = nullptr);

    // Exports the object and then takes the name, so that a client that sees the name also finds
    // the object. Fails when the name has an owner already or the bus refuses it.
    bool registerOn(QDBusConnection connection, QString *error);
    // Announces "ready" and arms the job end that nobody asked for, if one is configured.
    void start();

    // Called by the generated adaptor.
    bool CanBackup();
    void StartBackup();

signals:
    void JobEnd(const QString &kind, bool success, const QString &errMsg);

private:
    void endJob();
    void report(const QString &line);

    DevABRecoveryOptions m_options;
};
