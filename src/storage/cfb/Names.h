// Element names: at most 31 UTF-16 units, ordered shorter first and then unit
// by unit after simple upper-case conversion (one unit stays one unit, so 'ß'
// stays 'ß'). That order keeps each storage's tree sorted and makes lookups
// ignore case.
#pragma once

#include <string_view>

namespace slv2::cfb {

// The simple upper-case mapping of a UTF-16 unit of the Basic Multilingual
// Plane; surrogates and units without a mapping stay as they are.
char16_t UpperCase(char16_t unit);

// Negative, zero or positive as `a` sorts before, with or after `b`.
int CompareNames(std::u16string_view a, std::u16string_view b);

// A name new elements may take: 1 to 31 units, none of them '/', '\\', ':',
// '!' or a terminating zero.
bool IsValidNewName(std::u16string_view name);
// A name an existing element can have at all (1 to 31 units).
bool IsValidLookupName(std::u16string_view name);

}  // namespace slv2::cfb
