#pragma once

#include "daemonfixture.h"
#include "testuser.h"

#include <QObject>
#include <QTemporaryDir>
#include <memory>

// What the tests of the real daemon on a private bus share: two throw-away users, a probe
// package at 1.0 and 2.0 (neither installed), a package maker's signing key the machine
// trusts, and the daemon started. Root only.
class BusTestBase : public QObject
{
protected:
    // False, with the reason in |error|, when a piece could not be set up.
    bool setUpBus(const QString &probe, const QString &signer, const QString &trustedKey,
        QString *error);
    void tearDownBus();

    QTemporaryDir m_work; // open to every user, so that they reach what the test makes
    std::unique_ptr<TestUser> m_alice;
    std::unique_ptr<TestUser> m_bob;
    std::unique_ptr<DaemonFixture> m_fixture;
    QString m_probeV1;
    QString m_probeV2;
    QString m_gpgHome;

private:
    QString m_probe;
    QString m_trustedKey;
};
