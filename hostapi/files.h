// Replacing a data file safely: a new copy is written beside the old one and
// moved over it in one step, so a reader sees either file whole; and the
// lock that lets one process at a time do that in a data folder.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace varnoke::hostapi {

// Held while it lives.
class IFolderLock {
public:
    virtual ~IFolderLock() = default;
};

class IFiles {
public:
    virtual ~IFiles() = default;
    // Moves `source` over `target` atomically, flushed to the disk before it
    // returns true. Both lie in the same folder. What the platform keeps of
    // the target (attributes, access rights) it keeps where it can.
    virtual bool ReplaceFileAtomically(std::u16string_view source, std::u16string_view target) = 0;
    // Removes a file; false when there was none or it could not be removed.
    virtual bool RemoveFile(std::u16string_view path) = 0;

    // The file a replacement of the data file `path` goes over: `path`
    // itself when it is a regular file or there is none; for a symbolic
    // link (a reparse point), its final target when that is a regular file
    // in the same folder, so the link stays; nothing for anything else (a
    // device, a pipe, a folder, a dangling link, a file in another folder),
    // which a refresh must never write to or beside.
    virtual std::optional<std::u16string> ReplacementTarget(std::u16string_view path) = 0;
    // Creates `path` empty, only if nothing of that name exists (never
    // through a link), with the permissions of `like` where that exists.
    virtual bool CreateExclusive(std::u16string_view path, std::u16string_view like) = 0;
    // Creates `path` as CreateExclusive does (with the permissions of `like`)
    // and writes `bytes` through what was created; false, and no file left,
    // on any failure.
    virtual bool WriteNew(std::u16string_view path, std::string_view bytes, std::u16string_view like) = 0;
    // Removes every file in the folder of `prefix` whose name begins with
    // the prefix's last part and is longer than it.
    virtual void RemoveFilesStartingWith(std::u16string_view prefix) = 0;
    // Takes the lock of a folder, shared by every process on the machine,
    // waiting until `deadline` at most; nullptr when it was not had by then.
    virtual std::unique_ptr<IFolderLock> LockFolder(std::u16string_view folder,
                                                    std::chrono::steady_clock::time_point deadline) = 0;
};

}  // namespace varnoke::hostapi
