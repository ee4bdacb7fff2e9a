#pragma once

#include <QString>

// Whether another package manager is at work: apt and dpkg hold a write lock on
// "lock-frontend" and "lock" in dpkg's administrative directory for as long as they change
// anything. A check must not remount or repoint what a running upgrade reads from.
namespace DpkgLock {

// The holder ("pid N"), or empty when neither lock is held. Only asks: takes no lock.
QString holder(const QString &adminDirectory);

} // namespace DpkgLock
