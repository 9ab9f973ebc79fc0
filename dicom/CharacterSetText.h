// Texts of a data set in UTF-8, decoded by the character set its Specific Character
// Set names: the ISO 8859 single-byte sets, UTF-8, GB18030 and GBK, and the ISO 2022
// code extensions that Japanese, Korean and Chinese names use (escape sequences that
// switch between ASCII, JIS X 0201 / 0208 / 0212, KS X 1001 and GB 2312, reset at
// each '^', '=' and value delimiter). A person's name written "Yamada^Tarou=山田^太郎"
// comes out as those characters, not as the escape codes and 7-bit bytes the file
// holds.
//
// Texts without a character set, and texts that do not decode under the one named
// (a mislabelled file, an escape sequence no set answers to), are taken as UTF-8
// when they are valid UTF-8 and as Windows-1252 otherwise, as the rest of the
// program shows such bytes.
#pragma once

#include <string>
#include <string_view>

// `bytes` decoded by `specificCharacterSet` (the element's value as the file holds
// it, values separated by '\'), in UTF-8.
std::string TextInUtf8(std::string_view bytes, std::string_view specificCharacterSet);
