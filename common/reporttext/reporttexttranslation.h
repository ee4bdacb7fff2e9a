#pragma once

#include <QLocale>

// The translation of this library's texts, built into it so that every program that links it
// finds the translation wherever it is installed or run from.
class ReportTextTranslation
{
public:
    // Installs the translation for |locale| into the application, in place of one an earlier
    // call installed; none for a language without one (English). True if one was installed.
    static bool load(const QLocale &locale);
};
