#include "architecturetable.h"

#include <QString>

namespace ArchitectureTable {

QString acceptedPackageArchitecture(const QString &machine)
{
    struct Row
    {
        const char *machine;
        const char *package;
    };
    // A 32-bit x86 kernel name still maps to amd64: such machines run a 64-bit userland.
    static const Row table[] = {
        {"x86_64", "amd64"},          {"i386", "amd64"},   {"aarch64", "arm64"},
        {"mips64", "mips64el"},       {"sw_64", "sw_64"}, {"loongarch64", "loongarch64"},
    };
    for (const Row &row : table) {
        if (machine == QLatin1String(row.machine))
            return QString::fromLatin1(row.package);
    }
    return {};
}

bool fits(const QString &machine, const QString &packageArchitecture)
{
    const QString accepted = acceptedPackageArchitecture(machine);
    return !accepted.isEmpty() && packageArchitecture.toLower() == accepted;
}

} // namespace ArchitectureTable
