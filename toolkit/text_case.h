// Case-insensitive comparison of UTF-8 text, for labels that name the same patient, study or
// series in different case ("MÜLLER^HANS" and "Müller^Hans"). Letters fold by Unicode's simple
// case folding over the scripts whose letters have case in the character sets DICOM names:
// ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic, and fullwidth Latin. Everything else,
// bytes that are not UTF-8 included, is compared exactly.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

// The code point `c` folds to: its lower-case letter, or `c` itself.
uint32_t FoldCase(uint32_t c);

bool EqualIgnoringCase(std::string_view a, std::string_view b);

} // namespace velmora
