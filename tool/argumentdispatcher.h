#pragma once

#include <QStringList>
#include <functional>

// Hands the tool's command-line arguments to whoever shows packages and images. The program's
// own path is an element like any other, so callers pass the full argument list.
class ArgumentDispatcher
{
public:
    using PathHandler = std::function<void(const QString &path)>;
    using ErrorHandler = std::function<void()>;

    ArgumentDispatcher(
        PathHandler offlineUpdateFile, PathHandler isoUpdateFile, ErrorHandler errorFileType);

    // Every element whose local path contains ".oup" goes to the package handler, else one
    // containing ".iso" to the image handler, in order. When neither was found in a list of
    // three or more elements, the error handler runs once.
    void dispatch(const QStringList &arguments) const;

private:
    PathHandler m_offlineUpdateFile;
    PathHandler m_isoUpdateFile;
    ErrorHandler m_errorFileType;
};
