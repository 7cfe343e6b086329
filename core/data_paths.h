// Where the two data files live: in the folder of the component's own file.
//
// The paths are module-level state with one copy per thread (a per-thread
// record, core/thread_records.h): every object constructed on a thread
// rewrites that thread's copy, and objects on other threads never see it.
#pragma once

#include <string>
#include <string_view>

namespace varnoke {

inline constexpr std::u16string_view kStockFileName = u"varnokeL.xml";
inline constexpr std::u16string_view kActionFileName = u"acturl.xml";

#if defined(_WIN32)
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// The calling thread's copies.
std::u16string& strStockXMLPath();
std::u16string& strActionXMLPath();

// folder + separator + file name. The separator is always inserted, even when
// the folder already ends in one (a drive's root): the doubled separator is
// harmless to every file API.
std::u16string FormDataFilePath(std::u16string_view folder, std::u16string_view fileName);

}  // namespace varnoke
