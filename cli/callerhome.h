#pragma once

class QString;

namespace CallerHome {

// The home directory of the user running this program, from the password database rather than
// $HOME: the service accepts only the caller's own home, and sudo or su may leave $HOME
// pointing at someone else's. Empty when the database does not know the user.
QString current();

} // namespace CallerHome
