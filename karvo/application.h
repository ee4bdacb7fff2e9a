#pragma once

#include <QApplication>
#include <QIcon>
#include <QList>
#include <QLocale>

class QTranslator;

namespace Karvo {

// The toolkit's application object: translator loading, a product icon and a description for
// about boxes and the like. The application font takes the FontSizeManager's body size (T6)
// and follows it.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    // Looks for "<applicationName>_<locale>.qm" (QTranslator's locale fallbacks included) in,
    // in order: <executable dir>/translations, every AppDataLocation + "/translations", and
    // <install data dir>/<applicationName>/translations. For each locale the first directory holding
    // a file wins, so a local build overrides an installed copy. Qt's own translations are
    // loaded alongside. Translators installed by an earlier call are removed first. True if an
    // application translator was installed.
    bool loadTranslator(const QList<QLocale> &locales = { QLocale::system() });
    // The directories searched, in order.
    QStringList translationDirectories() const;

    QIcon productIcon() const { return m_productIcon; }
    void setProductIcon(const QIcon &icon);
    QString applicationDescription() const { return m_description; }
    void setApplicationDescription(const QString &description);

signals:
    void productIconChanged();
    void applicationDescriptionChanged();

private:
    QIcon m_productIcon;
    QString m_description;
    QList<QTranslator *> m_translators;
};

} // namespace Karvo
