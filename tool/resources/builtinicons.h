#pragma once

#include <QIcon>
#include <QString>

// The tool's own pictures, compiled in under ":/icons/tevrin/builtin/icons/".

// The icon theme's icon |name|, or the tool's own picture of it where the theme has none.
QIcon themeIcon(const QString &name);

// The resource path of the compiled-in image |fileName| (such as "logo.png"). The resources
// are registered before the path is returned, so the path can be loaded at once.
QString builtinImagePath(const QString &fileName);
