#include "textoutput.h"

#include "checkreport.h"
#include "daemonstatustext.h"
#include "exitstatus.h"
#include "historyline.h"
#include "progressline.h"
#include "servicestatus.h"

namespace {

// Back to the start of the line, and erase what an earlier, longer line left there.
const QString Redraw = QStringLiteral("\r");
const QString EraseToEnd = QStringLiteral("\x1b[K");

} // namespace

TextOutput::TextOutput(FILE *out, FILE *errors, bool terminal, bool verbose)
    : m_out(out)
    , m_errors(errors)
    , m_terminal(terminal)
    , m_verbose(verbose)
{ }

TextOutput::~TextOutput() = default;

void TextOutput::print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    fflush(stream);
}

void TextOutput::startLine()
{
    if (m_progressShown) {
        print(m_out, Redraw + EraseToEnd);
        m_progressShown = false;
    }
    if (m_midLine) {
        print(m_out, QStringLiteral("\n"));
        m_midLine = false;
    }
}

void TextOutput::drawProgress()
{
    if (!m_terminal || !m_progress)
        return;
    // apt writes in many small chunks; the line changes far less often.
    const QString text = m_progress->text();
    if (m_progressShown && text == m_drawn)
        return;
    print(m_out, Redraw + text + EraseToEnd);
    m_drawn = text;
    m_progressShown = true;
}

void TextOutput::checkReport(const CheckReport &report)
{
    startLine();
    print(m_out, report.text());
}

void TextOutput::upgradeStarted(int expectedPackages)
{
    m_progress = std::make_unique<ProgressLine>(expectedPackages);
    drawProgress();
}

ProgressLine &TextOutput::progress()
{
    if (!m_progress)
        m_progress = std::make_unique<ProgressLine>(0);
    return *m_progress;
}

void TextOutput::showStage()
{
    if (m_terminal) {
        drawProgress();
        return;
    }
    // A log gets a line when the words or the percentage change, not for every signal.
    const int percent = progress().percent();
    const QString line = QStringLiteral("Stage: ") + progress().words()
        + (percent < 0 ? QString() : QStringLiteral(" (%1%)").arg(percent));
    if (line == m_loggedStage)
        return;
    m_loggedStage = line;
    startLine();
    print(m_out, line + QLatin1Char('\n'));
}

void TextOutput::upgradeProgress(int progress, int code)
{
    this->progress().setProgress(progress, code);
    showStage();
}

void TextOutput::upgradeStage(const QString &stage, int done, int total, const QString &package)
{
    progress().setStage(stage, done, total, package);
    showStage();
}

void TextOutput::upgradeOutput(const QString &text)
{
    const QString status = DaemonStatusText::translated(text);
    if (status.isEmpty())
        progress().addOutput(text);
    if (m_terminal && !m_verbose) {
        drawProgress();
        return;
    }
    if (m_progressShown) {
        print(m_out, Redraw + EraseToEnd);
        m_progressShown = false;
    }
    if (!status.isEmpty()) {
        // The service's own sentence is a line of its own, in the user's language.
        startLine();
        print(m_out, status + QLatin1Char('\n'));
    } else {
        print(m_out, text);
        m_midLine = !text.endsWith(QLatin1Char('\n'));
    }
    if (m_terminal) {
        // The line is redrawn below the output, which must not be cut short by it.
        if (m_midLine)
            print(m_out, QStringLiteral("\n"));
        m_midLine = false;
        drawProgress();
    }
}

void TextOutput::notice(const QString &text)
{
    startLine();
    print(m_out, text + QLatin1Char('\n'));
    drawProgress();
}

void TextOutput::serviceStatus(const ServiceStatus &status)
{
    const auto rows = status.rows();
    int width = 0;
    for (const auto &row : rows)
        width = qMax(width, row.first.size());
    for (const auto &row : rows)
        print(m_out,
            (row.first + QLatin1Char(':')).leftJustified(width + 2) + row.second
                + QLatin1Char('\n'));
}

void TextOutput::history(const QList<HistoryEntry> &entries)
{
    if (entries.isEmpty()) {
        print(m_out, QStringLiteral("No checks or upgrades recorded.\n"));
        return;
    }
    for (const HistoryEntry &entry : entries)
        print(m_out, HistoryLine::text(entry) + QLatin1Char('\n'));
}

void TextOutput::result(const QString &command, const Outcome &outcome)
{
    if (m_progressShown) {
        // The last state of the line stays on the screen above the result.
        print(m_out, QStringLiteral("\n"));
        m_progressShown = false;
    }
    startLine();
    if (outcome.message.isEmpty())
        return;
    // Outcomes that concern the package or the system are the command's output; trouble with
    // the command line or the service goes where errors go.
    const bool ordinary
        = outcome.exitStatus == ExitStatus::Success || outcome.exitStatus == ExitStatus::Refused;
    print(ordinary ? m_out : m_errors,
        (ordinary ? QString()
                  : QStringLiteral("tevrin-offline-update")
                    + (command.isEmpty() ? QString() : QLatin1Char(' ') + command)
                    + QStringLiteral(": "))
            + outcome.message + QLatin1Char('\n'));
}
