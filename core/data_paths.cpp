#include "core/data_paths.h"

#include "core/thread_records.h"

namespace varnoke {
namespace {

struct DataPaths {
    std::u16string stock;
    std::u16string action;
};

}  // namespace

std::u16string& strStockXMLPath() { return ThisThread<DataPaths>().stock; }
std::u16string& strActionXMLPath() { return ThisThread<DataPaths>().action; }

std::u16string FormDataFilePath(std::u16string_view folder, std::u16string_view fileName) {
    std::u16string path;
    path.reserve(folder.size() + 1 + fileName.size());
    path.append(folder);
    path.push_back(kPathSeparator);
    path.append(fileName);
    return path;
}

}  // namespace varnoke
