// The dialog framework's rules for data exchange, kept apart from any
// window so they can be checked on their own: how a number field is read
// and what its standard messages say, and which combo-box item a text
// selects.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An unsigned decimal number with blanks or tabs allowed around it, and
// nothing else; a sign other than "+" makes it no number.
enum class UnsignedField { Ok, NotANumber, OutOfRange };
UnsignedField readUnsignedField(const std::string& text, std::uint32_t min, std::uint32_t max,
                                std::uint32_t& value);
extern const char* const kNotAPositiveIntegerMessage;  // "Please enter a positive integer."
// "Please enter an integer between %1 and %2." filled in.
std::string outOfRangeMessage(std::uint32_t min, std::uint32_t max);

// The first item that begins with `text`, compared without regard to case,
// or nothing. An empty text selects nothing: it stays empty.
std::optional<std::size_t> findPrefixItem(const std::vector<std::string>& items, const std::string& text);
