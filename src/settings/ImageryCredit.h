#pragma once

// Who supplies the imagery the map service serves, as its themes tell (GetTheme), for the
// credits of the About box.

#include <string>

namespace quorvil {

// The credit of the imagery the map service at `address` serves: the supplier and the
// notice of its themes (GetTheme), asked with short time-outs. Throws EQuorvilError when
// the service does not answer.
std::string AskDataSource(const std::string& address);

}  // namespace quorvil
