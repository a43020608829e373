// How the spaces of Morse code are stretched when the overall speed is below the character
// speed: not at all, between characters and words (Farnsworth), or between words only
// (Wordsworth). The engine times by it; the settings file keeps it as [Tutor] Farnsworth 0..2.
#pragma once

namespace brindle {

enum class TSpacing { Plain, Farnsworth, Wordsworth };

} // namespace brindle
