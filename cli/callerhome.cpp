#include "callerhome.h"

#include <QFile>
#include <QString>
#include <pwd.h>
#include <unistd.h>

QString CallerHome::current()
{
    const passwd *entry = getpwuid(getuid());
    return entry && entry->pw_dir ? QFile::decodeName(entry->pw_dir) : QString();
}
