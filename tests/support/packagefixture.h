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
        QString manifest = QStringLiteral(
            R"({"type": 1, "data": {"systemType": "desktop", "cveId": "", "archs": "amd64"}})");
        QStringList debs;
        QMap<QString, QString> preHooks; // file name -> script text
        QMap<QString, QString> postHooks;
    };

    // Builds |package| into |output|; on failure returns false with the builder's output in
    // |error|.
    static bool build(const Package &package, const QString &output, QString *error);
    // A throw-away .deb of |name| at |version| in |directory|; empty on failure.
    static QString probeDeb(const QString &name, const QString &version, const QString &directory);
    // Takes down what the daemon left mounted in |home|'s cache directory, quietly: most of it
    // is usually not mounted.
    static void unmountCache(const QString &home);
    static bool install(const QString &deb);
    static void purge(const QString &name);
    // The installed version of |name|, empty when it is not installed.
    static QString installedVersion(const QString &name);
};
