#include "bustestbase.h"

#include "childprocess.h"
#include "packagefixture.h"

#include <QFile>
#include <sys/stat.h>

bool BusTestBase::setUpBus(
    const QString &probe, const QString &signer, const QString &trustedKey, QString *error)
{
    m_probe = probe;
    m_trustedKey = trustedKey;
    if (!m_work.isValid() || chmod(QFile::encodeName(m_work.path()).constData(), 0755) != 0) {
        *error = QStringLiteral("no work directory");
        return false;
    }
    m_alice = std::make_unique<TestUser>(QStringLiteral("tevrint-alice"));
    m_bob = std::make_unique<TestUser>(QStringLiteral("tevrint-bob"));
    if (!m_alice->isValid() || !m_bob->isValid()) {
        *error = QStringLiteral("cannot make the test users");
        return false;
    }
    if (!PackageFixture::probePair(probe, m_work.path(), &m_probeV1, &m_probeV2)) {
        *error = QStringLiteral("cannot make the probe packages");
        return false;
    }
    PackageFixture::purge(probe);
    m_gpgHome = m_work.filePath(QStringLiteral("gnupg"));
    if (!PackageFixture::makeSigner(m_gpgHome, signer, trustedKey)) {
        *error = QStringLiteral("cannot make the signing key");
        return false;
    }
    m_fixture = std::make_unique<DaemonFixture>();
    return m_fixture->start(error);
}

void BusTestBase::tearDownBus()
{
    m_fixture.reset();
    if (!m_probe.isEmpty())
        PackageFixture::purge(m_probe);
    if (!m_trustedKey.isEmpty())
        QFile::remove(m_trustedKey);
    if (!m_gpgHome.isEmpty())
        ChildProcess::run({ QStringLiteral("gpgconf"), QStringLiteral("--homedir"), m_gpgHome,
            QStringLiteral("--kill"), QStringLiteral("gpg-agent") });
}
