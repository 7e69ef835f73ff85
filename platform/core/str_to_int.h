#pragma once
// Whole-number parsing as the class library did it: optional blanks and sign, decimal digits,
// or hexadecimal after "$", "0x" or "0X"; the value must fit 32 bits.
#include <string>

namespace platform {

// Raises EConvertError "'%s' n'est pas une valeur entière correcte".
int strToInt(const std::string& text);
int strToIntDef(const std::string& text, int def);
bool tryStrToInt(const std::string& text, int& value);

}  // namespace platform
