#pragma once

#include <QDBusConnection>
#include <QString>

class QObject;

// Exports |object| at |path| and then takes |service|, so that a client that sees the name also
// finds the object. Fails, with a one-line reason in |error|, when the name has an owner
// already or the bus refuses it.
bool registerDevService(QDBusConnection connection, QObject *object, const QString &service,
    const QString &path, QString *error);

// Writes |line| and a newline to standard output at once, so that a script or a test that
// follows the program sees every event as it happens.
void reportLine(const QString &line);
