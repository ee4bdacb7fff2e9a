#pragma once

#include <QString>
#include <Qt>

// One row of the check table. resultValue says how the result reads: -1 an information row
// (no verdict), 0 not detected, 1 failed, 2 passed.
struct CheckResultInfo
{
    QString itemName;
    QString resultText;
    int resultValue = -1;
};

// The role of the result cell that holds resultValue. A column of its own, even hidden, would
// be read out by screen readers.
constexpr int ResultValueRole = Qt::UserRole + 1;
