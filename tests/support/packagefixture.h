#pragma once

#include <QMap>
#include <QStringList>

// Offline update packages and probe .deb files made by the project's own tools, as a package
// maker would make them.
class PackageFixture
{
public:
    struct Package
    {
        QString manifest; // empty: a system update for this machine
        QStringList debs;
        QMap<QString, QString> preHooks; // file name -> script text
        QMap<QString, QString> postHooks;
        QString signKey; // signed with this key of gpgHome when not empty
        QString gpgHome;
    };

    // A manifest for a package of |type| that fits this machine unless |archs| names others.
    static QString manifest(int type = 1, const QString &cveId = QString(), QString archs = {});
    // Builds |package| into |output|; on failure returns false with the builder's output in
    // |error|.
    static bool build(const Package &package, const QString &output, QString *error);
    // A throw-away .deb of |name| at |version| in |directory|, with |postinst| as its
    // maintainer script when given; empty on failure.
    static QString probeDeb(const QString &name, const QString &version, const QString &directory,
        const QString &postinst = QString());
    // The same with make-probe-deb's |options| (--control, --conffile, --postinst).
    static QString probeDebWith(const QString &name, const QString &version,
        const QString &directory, const QStringList &options);
    // |name| at 1.0 and at 2.0 (with |postinst|) in subdirectories of |directory|, the 2.0 one
    // for an offline package; false when either could not be made.
    static bool probePair(const QString &name, const QString &directory, QString *oldDeb,
        QString *newDeb, const QString &postinst = QString());
    // A new signing key |signer| in the GnuPG home |gpgHome|, its public key written to
    // |trustedKey| (the daemon's trust directory); false when any step failed.
    static bool makeSigner(const QString &gpgHome, const QString &signer, const QString &trustedKey);
    static bool install(const QString &deb);
    static void purge(const QString &name);
    // The installed version of |name|, empty when it is not installed.
    static QString installedVersion(const QString &name);
};
