// An output file that appears under its name only when it is complete. The program writes
// a temporary file in the folder of the file it replaces, and commit renames it into place
// in one step; until then the name holds what it held before (a file, or nothing). A link
// as output name is followed, so that the file it leads to is what gets replaced.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace cli {

class SafeOutput {
  public:
    // False with the reason for a name that cannot name an output at all (an empty one), so
    // that a command line can refuse it before anything runs.
    static bool namesAFile(const std::string& name, std::string& reason);

    // Looks at the output name before anything is created: refuses an empty name and an
    // existing file that is not a regular file (a FIFO, a socket, a device, a folder) and
    // finds the file a link leads to. False with the reason.
    bool prepare(const std::string& name, std::string& reason);

    // The file that commit replaces or creates.
    const std::filesystem::path& target() const { return targetPath; }

    // False with the reason when the target is one of the inputs on disk: two names are one
    // file when device and inode agree, so that "./a.cap", hard links and symbolic links are
    // caught as well as the identical text. Called after prepare.
    bool sparesInputs(const std::vector<std::string>& inputs, std::string& reason) const;

    // What the target is on disk: its device and inode where it exists, else the path it
    // resolves to. Two outputs of one run with equal keys would write the same file.
    std::string targetKey() const;

    // Makes the temporary file: calls create with fresh names in the target's folder until
    // one is free. create makes the file (only where nothing exists under the name) and
    // returns 0, or the error number of its failure (EEXIST: the name is taken). False with
    // the reason when no temporary file can be made there.
    bool createTemporary(const std::function<int(const std::string&)>& create, std::string& reason);
    const std::string& temporaryName() const { return temporary; }

    // Renames the complete temporary file onto the target, with the permissions of the
    // file it replaces. False with the reason; the temporary file then still exists.
    bool commit(std::string& reason);
    bool isCommitted() const { return committed; }

    // For files that must appear together or not at all: commits as commit does, but keeps
    // the file it replaces under a temporary name beside it, until restore or release.
    // Refuses a target that became a folder, FIFO, socket or device during the run. False
    // with the reason; the target then holds what it held before.
    bool commitKeepingOld(std::string& reason);
    // Undoes commitKeepingOld: the kept file goes back under the target's name, or, where
    // there was none, the committed file is removed. False with the reason when that fails.
    bool restore(std::string& reason);
    // Removes the kept file, once the new one is there to stay.
    void release();

  private:
    enum class Kept { kNothing, kLinked, kMovedAside };
    // Gives the old file a second name beside it (or moves it there where the file system
    // has no hard links); false with the reason.
    bool keepOld(std::string& reason);
    // Undoes keepOld before the target was replaced.
    void unkeepOld();

    std::filesystem::path targetPath;
    std::string temporary;
    bool committed = false;
    Kept kept = Kept::kNothing;
    std::string keptName;
    // The committed file, so that restore removes only what this program put there.
    dev_t committedDevice = 0;
    ino_t committedInode = 0;
};

}  // namespace cli
