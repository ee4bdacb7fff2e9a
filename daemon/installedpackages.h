#pragma once

#include <QHash>
#include <functional>
#include <QString>
#include <QStringList>

class QObject;
struct CheckEnvironment;

// The system's packages as dpkg's database holds them, read with dpkg-query.
class InstalledPackages
{
public:
    struct ConfigFile
    {
        QString path;
        QString md5; // of the text the installed version shipped
        bool obsolete = false;
    };

    struct Package
    {
        QString name;
        QString architecture;
        QString version;
        QString status; // dpkg's abbreviation: "ii", "iU", "iF", "rc", ...
        bool essential = false;
        QString priority;
        qint64 installedKiB = 0;
        QList<ConfigFile> configFiles;

        // Unpacked or configured only half-way, or waiting for triggers: an earlier dpkg run
        // left it for `dpkg --configure -a` to finish.
        bool interrupted() const;
        bool configured() const;
    };

    // dpkg-query's arguments whose output parse() reads.
    static QStringList queryArguments(const CheckEnvironment &environment);
    static InstalledPackages parse(const QString &output);

    // Whether an earlier dpkg run was left half-way, and the packages it left; |known| is false
    // when dpkg's state cannot be read. |done| comes on the event loop, unless |context| goes.
    static void readState(QObject *context, const CheckEnvironment &environment,
        std::function<void(bool known, bool interrupted, const QStringList &packages)> done);

    // By name; for a package installed for more than one architecture, the first listed.
    const Package *find(const QString &name) const;
    QList<Package> all() const { return m_packages; }

private:
    QList<Package> m_packages;
    QHash<QString, int> m_byName;
};
