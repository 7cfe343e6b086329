#include "core/data_paths.h"

namespace varnoke {

thread_local std::u16string strStockXMLPath;
thread_local std::u16string strActionXMLPath;

std::u16string FormDataFilePath(std::u16string_view folder, std::u16string_view fileName) {
    std::u16string path;
    path.reserve(folder.size() + 1 + fileName.size());
    path.append(folder);
    path.push_back(kPathSeparator);
    path.append(fileName);
    return path;
}

}  // namespace varnoke
