#pragma once

#include "outcome.h"

class QDBusError;

namespace CallFailure {

// The outcome of a call to the service that came back as an error, |action| naming what was
// asked for ("the check", "the upgrade").
Outcome outcomeOf(const QDBusError &error, const QString &action);

} // namespace CallFailure
