// Replacing a data file safely: a new copy is written beside the old one and
// moved over it in one step, so a reader sees either file whole.
#pragma once

#include <string_view>

namespace varnoke::hostapi {

class IFiles {
public:
    virtual ~IFiles() = default;
    // Moves `source` over `target` atomically, flushed to the disk before it
    // returns true. Both lie in the same folder.
    virtual bool ReplaceFileAtomically(std::u16string_view source, std::u16string_view target) = 0;
    // Removes a file; false when there was none or it could not be removed.
    virtual bool RemoveFile(std::u16string_view path) = 0;
};

}  // namespace varnoke::hostapi
