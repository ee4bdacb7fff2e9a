#pragma once

// Selects the bus of an invoker. Any value other than SystemBus means the session bus; the
// fixed underlying type keeps such values well defined when they are cast in.
enum ConnectType : int { SystemBus = 0, SessionBus = 1 };
