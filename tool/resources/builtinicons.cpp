#include "builtinicons.h"

#include <QHash>

namespace {

const QString BuiltinPrefix = QStringLiteral(":/icons/tevrin/builtin/icons/");

} // namespace

// Resources compiled into a static library are registered only on request; Q_INIT_RESOURCE
// must stand outside any namespace.
static void registerBuiltinIcons()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(garrolan_icons);
        return true;
    }();
    Q_UNUSED(registered)
}

QIcon themeIcon(const QString &name)
{
    // Our own pictures carry their design size in the file name, the theme's names do not.
    static const QHash<QString, QString> files = {
        { QStringLiteral("icon_fail"), QStringLiteral("icon_fail.svg") },
        { QStringLiteral("upgrade-tool"), QStringLiteral("upgrade-tool.svg") },
        { QStringLiteral("vsk_ok_tip"), QStringLiteral("vsk_ok_tip_20px.svg") },
        { QStringLiteral("vsk_warning_tip"), QStringLiteral("vsk_warning_tip_20px.svg") },
        { QStringLiteral("vsk_yellow_tip"), QStringLiteral("vsk_yellow_tip_32px.svg") },
    };
    const QString file = files.value(name);
    if (file.isEmpty())
        return QIcon::fromTheme(name);
    return QIcon::fromTheme(name, QIcon(builtinImagePath(file)));
}

QString builtinImagePath(const QString &fileName)
{
    registerBuiltinIcons();
    return BuiltinPrefix + fileName;
}
