#pragma once

namespace tessivo {

// How many cells a character takes in the result font: two for the characters GBK keeps in two
// bytes (Chinese characters, the full-width forms, the Greek and Cyrillic letters of the Chinese
// fonts) and for the East Asian wide characters GBK lacks (Hangul, emoji), otherwise one.
int CellsOf(char32_t c);

// Whether GBK can hold the character.
bool GbkHolds(char32_t c);

} // namespace tessivo
