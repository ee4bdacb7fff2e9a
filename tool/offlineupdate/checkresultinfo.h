#pragma once

#include <QString>

// One row of the check table. resultValue says how the result reads: -1 an information row
// (no verdict), 0 not detected, 1 failed, 2 passed.
struct CheckResultInfo
{
    QString itemName;
    QString resultText;
    int resultValue = -1;
};
