#include "reporttexttranslation.h"

#include <QCoreApplication>
#include <QTranslator>
#include <memory>

// Resources of a static library are registered only on request, and from outside any
// namespace, the anonymous one included.
static void registerResources()
{
    Q_INIT_RESOURCE(reporttext);
}

bool ReportTextTranslation::load(const QLocale &locale)
{
    static std::unique_ptr<QTranslator> installed;
    registerResources();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, QStringLiteral("tevrin-offline-update-reporttext"),
            QStringLiteral("_"), QStringLiteral(":/reporttext/translations")))
        return false;
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}
