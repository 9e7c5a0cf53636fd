// DecimalString: the number a Decimal String (DS) value holds, as PS3.5 6.2 writes it (leading
// and trailing spaces, an optional sign, a fixed or exponent form). One reading for every unit
// that does arithmetic with DS values (positions, orientations, offsets) or shows them.
// Sits in the toolkit beside DataSet. Qt-free.
#pragma once

#include <optional>
#include <string_view>

namespace velmora {

// The finite number `text` holds; nothing when it holds no number, more than one, or one that
// is not finite.
std::optional<double> ParseDecimalString(std::string_view text);

} // namespace velmora
