// The localized string table: English, Traditional Chinese and Simplified
// Chinese blocks of numbered rows, compiled into the component.
//
// A row's language follows from its number alone (block base + offset), never
// from the thread's language.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnoke {

// Block bases returned by StringBlockForLocale.
inline constexpr int32_t kEnglishBlock = 100;
inline constexpr int32_t kTraditionalChineseBlock = 200;
inline constexpr int32_t kSimplifiedChineseBlock = 300;

// Offsets within a block.
inline constexpr int32_t kVerbCaptionOffset = 0;  // verb ID 0 to 4
inline constexpr int32_t kDialogTitleOffset = 5;
inline constexpr int32_t kInvalidRefMsgOffset = 11;
inline constexpr int32_t kMsgTitleOffset = 12;
inline constexpr int32_t kRecognizerNameOffset = 13;

// The text of row `row`, or nothing when the table has no such row.
std::optional<std::u16string> LoadLocalString(int32_t row);

// 2052 -> 300; 1028 and 3076 -> 200; any other locale -> 100.
// Other Chinese locales (4100, 5124, ...) deliberately get English.
int32_t StringBlockForLocale(int32_t localeId);

// The locale ID of a language and country code pair ("zh", "TW"), for hosts
// that name locales that way: the three pairs the string table has texts
// for give 1028, 3076 and 2052 (any letter case), every other pair 1033.
int32_t LocaleIdForLanguage(std::u16string_view language, std::u16string_view country);

}  // namespace varnoke
