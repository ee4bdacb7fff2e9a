#pragma once

class QString;

namespace ArchitectureTable {

// The one package architecture that a machine, named as "uname -m" prints it, can install;
// empty for a machine this system does not support.
QString acceptedPackageArchitecture(const QString &machine);

// The package's architecture is compared without regard to case, the machine name exactly.
bool fits(const QString &machine, const QString &packageArchitecture);

} // namespace ArchitectureTable
