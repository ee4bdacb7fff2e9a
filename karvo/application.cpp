#include "application.h"

#include "fontsizemanager.h"

#include <QDir>
#include <QFont>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

namespace Karvo {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Unbound widgets use the body level too, so a page's plain buttons and its labels match.
    FontSizeManager *fonts = FontSizeManager::instance();
    const auto followBodySize = [fonts] {
        QFont body = QApplication::font();
        body.setPixelSize(fonts->fontPixelSize(FontSizeManager::T6));
        QApplication::setFont(body);
    };
    followBodySize();
    connect(fonts, &FontSizeManager::fontChanged, this, followBodySize);
}

QStringList Application::translationDirectories() const
{
    const QString sub = QStringLiteral("/translations");
    QStringList dirs { applicationDirPath() + sub };
    for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::AppDataLocation))
        dirs.append(dir + sub);
    dirs.append(QStringLiteral(KARVO_INSTALL_DATADIR "/") + applicationName() + sub);
    dirs.removeDuplicates();
    return dirs;
}

bool Application::loadTranslator(const QList<QLocale> &locales)
{
    for (QTranslator *translator : qAsConst(m_translators)) {
        removeTranslator(translator);
        delete translator;
    }
    m_translators.clear();

    const QStringList dirs = translationDirectories();
    const QString qtDir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    bool found = false;
    // Qt asks the most recently installed translator first, so the most preferred locale,
    // first in the list, goes in last.
    for (auto it = locales.crbegin(); it != locales.crend(); ++it) {
        const QLocale &locale = *it;
        for (const QString &dir : dirs) {
            auto *translator = new QTranslator(this);
            if (translator->load(locale, applicationName(), QStringLiteral("_"), dir)) {
                installTranslator(translator);
                m_translators.append(translator);
                found = true;
                break;
            }
            delete translator;
        }
        auto *qtTranslator = new QTranslator(this);
        if (qtTranslator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), qtDir)) {
            installTranslator(qtTranslator);
            m_translators.append(qtTranslator);
        } else {
            delete qtTranslator;
        }
    }
    return found;
}

void Application::setProductIcon(const QIcon &icon)
{
    m_productIcon = icon;
    emit productIconChanged();
}

void Application::setApplicationDescription(const QString &description)
{
    if (description == m_description)
        return;
    m_description = description;
    emit applicationDescriptionChanged();
}

} // namespace Karvo
