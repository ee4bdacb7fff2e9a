// Runs one upgrade through UpgradeRun, as the daemon does, and exits 0 when it succeeded.
// Usage: tevrin-bench-upgraderun SOURCE_LIST LISTS_DIRECTORY
// apt's output is counted, not printed, to keep the terminal out of the measurement.
#include "upgraderun.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fputs("usage: tevrin-bench-upgraderun SOURCE_LIST LISTS_DIRECTORY\n", stderr);
        return 2;
    }
    CheckEnvironment environment;
    environment.sourceList = arguments.at(1);
    environment.listsDirectory = arguments.at(2);
    UpgradeRun run(environment);
    qint64 characters = 0;
    int progressCount = 0;
    QObject::connect(
        &run, &UpgradeRun::output, [&](const QString &text) { characters += text.size(); });
    QObject::connect(&run, &UpgradeRun::progress, [&](int) { ++progressCount; });
    QObject::connect(&run, &UpgradeRun::finished, [&](bool success, const QString &why) {
        std::fprintf(stderr, "%s; %lld characters of output, %d progress values\n", qPrintable(why),
            static_cast<long long>(characters), progressCount);
        app.exit(success ? 0 : 1);
    });
    run.start(50);
    return app.exec();
}
