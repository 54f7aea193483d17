// Ready-made display texts for 0 to 100, so that progress and version labels need no
// formatting call on the byte path.
#pragma once

#include <string_view>

namespace vannor {

inline constexpr int NUMBER_TEXT_COUNT = 101;

inline constexpr std::string_view NumberTexts[NUMBER_TEXT_COUNT] = {
    "00", "01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12", "13", "14",
    "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29",
    "30", "31", "32", "33", "34", "35", "36", "37", "38", "39", "40", "41", "42", "43", "44",
    "45", "46", "47", "48", "49", "50", "51", "52", "53", "54", "55", "56", "57", "58", "59",
    "60", "61", "62", "63", "64", "65", "66", "67", "68", "69", "70", "71", "72", "73", "74",
    "75", "76", "77", "78", "79", "80", "81", "82", "83", "84", "85", "86", "87", "88", "89",
    "90", "91", "92", "93", "94", "95", "96", "97", "98", "99", "100"};

// The unit after a count of bytes: "1 byte", "2 bytes".
inline constexpr const char* ByteUnit(unsigned long long count) {
  return count == 1 ? "byte" : "bytes";
}

}  // namespace vannor
