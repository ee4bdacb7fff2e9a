#pragma once

class QByteArray;
class QString;
class QStringList;

namespace CommandOutput {

constexpr int WaitMs = 30000;

// Text of a child's output as the checks read it: local 8-bit, cut at the first NUL byte,
// trimmed.
QString decode(const QByteArray &output);

// Runs |program| with |arguments| (never through a shell), waits up to WaitMs for it to start
// and again for it to end, and returns its decoded standard output; empty when it did not run.
QString run(const QString &program, const QStringList &arguments);

} // namespace CommandOutput
