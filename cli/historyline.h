#pragma once

#include <QString>

struct HistoryEntry;

// One entry of the service's history as a line for a person: when it ended (local time), who
// ran it, a check or an upgrade, the package, and how it ended, with the reason in the
// sentences the tool uses.
class HistoryLine
{
public:
    static QString text(const HistoryEntry &entry);
};
