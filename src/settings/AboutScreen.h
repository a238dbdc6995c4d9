#pragma once

// The About box: the product name, the running program's version and the credits.

namespace quorvil {

// Shows the About box modally; OK closes it.
void ShowAbout();

}  // namespace quorvil
