// The encoding an XML file's declaration names, shared by the XML adapters:
// legacy Chinese encodings are common in stock lists, and not every XML
// library reads them by itself.
#pragma once

#include <string>
#include <string_view>

namespace varnoke {

// The encoding name of the document's XML declaration, lower-cased; empty
// when the document starts with a byte-order mark or has no declaration
// (the XML library then detects the Unicode encoding itself).
std::string DeclaredEncoding(std::string_view bytes);

// Whether every XML library reads this declared encoding by itself.
bool IsNativeEncoding(std::string_view declared);

// The Windows code page of a legacy Chinese encoding, or 0. "big5" and
// "gb2312" are read as code pages 950 and 936, the supersets that real files
// so labelled use.
unsigned LegacyChineseCodePage(std::string_view declared);

// The document without its XML declaration, for handing already decoded
// text to a parser that would otherwise believe the declared encoding.
std::string_view WithoutDeclaration(std::string_view text);

}  // namespace varnoke
