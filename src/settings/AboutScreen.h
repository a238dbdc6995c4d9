#pragma once

// The About box: the product name, the running program's version and the credits, with
// the source of the imagery in use as the map service tells it.

#include <functional>
#include <string>

namespace quorvil {

// Shows the About box modally; OK closes it. `dataSource`, when given, runs on a worker
// thread while the box is open and returns the credit of the imagery in use; its text,
// or a note that the service did not tell, then shows in the box.
void ShowAbout(std::function<std::string()> dataSource = {});

}  // namespace quorvil
