#pragma once

#include <QObject>
#include <QString>

// Stand-in for the desktop's window manager: answers the wallpaper question with a fixed URL
// and reports every call on standard output.
class DevWindowManager : public QObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    // |background| is a picture's path (a relative one is taken from the current directory) or
    // a URL, answered as given; empty means that the wallpaper is unknown.
    explicit DevWindowManager(const QString &background, QObject *parent = nullptr);

    // The answer for |background|: "file://" and the absolute path for a path, a URL as it is.
    static QString backgroundUrl(const QString &background);

public slots:
    // Called by the generated adaptor.
    QString GetCurrentWorkspaceBackground();

private:
    QString m_backgroundUrl;
};
