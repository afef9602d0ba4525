#pragma once

#include <QString>

namespace ui {

// A message date (days since 1899-12-30, local time) in the user's locale:
// the short date with a four-digit year, one space and the long time
// without a time zone; the time is left out at exactly midnight. Empty for
// a value outside the years 1 to 9999.
[[nodiscard]] QString formatMessageDate(double value);

}  // namespace ui
