#pragma once

#include <QStringList>

// Keeps every Qt log message of the process (from any thread) for the test to read, and passes
// each on to the handler that was there before, so that the test's output still shows them.
class LogCapture
{
public:
    static void install();
    static QStringList messages();
    static void clear();
};
