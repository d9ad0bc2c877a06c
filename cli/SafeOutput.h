// An output file that appears under its name only when it is complete. The program writes
// a temporary file in the folder of the file it replaces, and commit renames it into place
// in one step; until then the name holds what it held before (a file, or nothing). A link
// as output name is followed, so that the file it leads to is what gets replaced.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace cli {

class SafeOutput {
  public:
    // Looks at the output name before anything is created: refuses an existing file that is
    // not a regular file (a FIFO, a socket, a device, a folder) and finds the file a link
    // leads to. False with the reason.
    bool prepare(const std::string& name, std::string& reason);

    // The file that commit replaces or creates.
    const std::filesystem::path& target() const { return targetPath; }

    // False with the reason when the target is one of the inputs on disk: two names are one
    // file when device and inode agree, so that "./a.cap", hard links and symbolic links are
    // caught as well as the identical text. Called after prepare.
    bool sparesInputs(const std::vector<std::string>& inputs, std::string& reason) const;

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

  private:
    std::filesystem::path targetPath;
    std::string temporary;
    bool committed = false;
};

}  // namespace cli
