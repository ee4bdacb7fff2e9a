#pragma once

class QString;
class QUrl;

// Turns one command-line argument into a URL: an existing file as its absolute path, otherwise
// the argument without an editor-style ":line[:column]" suffix, read as user input relative to
// the current directory. A URL of another scheme stays as it is (its local path is empty).
QUrl UrlInfo(const QString &path);
