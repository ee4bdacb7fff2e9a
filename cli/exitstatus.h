#pragma once

// The program's exit statuses. Scripts and fleet playbooks branch on them, so a value never
// changes meaning.
namespace ExitStatus {
enum : int {
    Success = 0, // the check passed, the upgrade succeeded, the service is well
    Refused = 1, // the package was refused, the upgrade failed, or dpkg was left interrupted
    Usage = 2, // the command line was wrong, or an upgrade had nobody to confirm it
    Unreachable = 3, // no service, a busy one, or the authorization was refused
    Interrupted = 130, // Ctrl-C before anything was changed
};
} // namespace ExitStatus
