#pragma once

class QString;

namespace ReasonText {

// A sentence for a failure reason key of the service and its detail. Keys this program does
// not know yet still show, with their detail, so that a newer service is never silent.
QString sentence(const QString &key, const QString &detail);

} // namespace ReasonText
