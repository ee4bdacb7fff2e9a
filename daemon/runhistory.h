#pragma once

#include <QJsonObject>
#include <QStringList>
#include <sys/types.h>

struct CheckEnvironment;

// Every check and every upgrade, one JSON object per line in the state directory's
// "history.jsonl", oldest first. Bounded: only the newest Limit entries are kept.
namespace RunHistory {

constexpr int Limit = 500;
constexpr const char *FileName = "history.jsonl";

// Adds |entry| (with its "time" set when missing) and drops the oldest beyond Limit. Written
// atomically: a crash leaves the history as it was before or after.
bool append(const CheckEnvironment &environment, QJsonObject entry, QString *error);
// Whether an entry with |id| is there already.
bool contains(const CheckEnvironment &environment, const QString &id);
// The entries, as lines of JSON, oldest first: all of them, or only those of |uid|.
QStringList entries(const CheckEnvironment &environment, bool all, uid_t uid);

} // namespace RunHistory
