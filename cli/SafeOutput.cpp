#include "cli/SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#include "cli/InputFiles.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

// Links followed before giving up, as the system itself does.
constexpr int kMaxLinkHops = 40;
// Attempts at a free temporary name; a collision is already unlikely with one.
constexpr int kMaxNameAttempts = 100;
// The temporary name is "." + stem + "." + six characters, and its side index file adds
// ".idx": a stem of at most this many bytes keeps both within a file name's 255 bytes, so
// that the longest output names can be written too.
constexpr size_t kMaxStemLength = 200;

std::string systemText(const std::string& what) {
    return what + std::strerror(errno);
}

std::string randomSuffix(std::mt19937& generator) {
    static const char kCharacters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<size_t> pick(0, sizeof kCharacters - 2);
    std::string suffix(6, ' ');
    for (char& c : suffix) {
        c = kCharacters[pick(generator)];
    }
    return suffix;
}

// A fresh name beside path that hides as the temporary files do: ".NAME.XXXXXX".
std::string hiddenNameBeside(const fs::path& path, std::mt19937& generator) {
    fs::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string stem = path.filename().string();
    if (stem.size() > kMaxStemLength) {
        stem.resize(kMaxStemLength);
    }
    return (folder / ("." + stem + "." + randomSuffix(generator))).string();
}

}  // namespace

bool SafeOutput::namesAFile(const std::string& name, std::string& reason) {
    if (name.empty()) {
        reason = "the name is empty";
        return false;
    }
    return true;
}

std::string SafeOutput::targetKey() const {
    struct stat seen {};
    if (stat(targetPath.c_str(), &seen) == 0) {
        return "file " + std::to_string(seen.st_dev) + ":" + std::to_string(seen.st_ino);
    }
    // Absolute first: a relative name with no part on disk would stay as it was written.
    std::error_code error;
    const fs::path absolute = fs::absolute(targetPath, error);
    const fs::path resolved = fs::weakly_canonical(absolute, error);
    return "path " + (error ? absolute.lexically_normal() : resolved).string();
}

bool SafeOutput::sparesInputs(const std::vector<std::string>& inputs, std::string& reason) const {
    for (const std::string& input : inputs) {
        std::error_code ignored;
        if (fs::equivalent(targetPath, input, ignored)) {
            reason = "it would overwrite the input file '" + input + "'";
            return false;
        }
    }
    return true;
}

bool SafeOutput::prepare(const std::string& name, std::string& reason) {
    committed = false;
    temporary.clear();
    kept = Kept::kNothing;
    keptName.clear();
    if (!namesAFile(name, reason)) {
        return false;
    }
    std::error_code error;
    // The system's own view through every link, /dev/stdout's magic ones included.
    const fs::file_status seen = fs::status(name, error);
    if (fs::exists(seen)) {
        if (!fs::is_regular_file(seen)) {
            reason = fileTypeText(seen.type()) + ", not a regular file";
            return false;
        }
        // A link is followed to the file it leads to; a plain name stays as the user gave it.
        targetPath = name;
        if (fs::is_symlink(fs::symlink_status(name, error))) {
            targetPath = fs::canonical(name, error);
            if (error) {
                reason = "its links cannot be followed: " + error.message();
                return false;
            }
        }
        return true;
    }
    if (seen.type() != fs::file_type::not_found) {
        reason = "it cannot be examined: " + error.message();
        return false;
    }
    // Absent, or a link that leads to nothing yet: the file at the end of the links is the
    // one to create.
    fs::path path = name;
    for (int hops = 0; fs::is_symlink(fs::symlink_status(path, error)); ++hops) {
        const fs::path next = fs::read_symlink(path, error);
        if (error || hops == kMaxLinkHops) {
            reason = "its links cannot be followed: " +
                     (error ? error.message() : std::string("too many levels"));
            return false;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    targetPath = path;
    return true;
}

bool SafeOutput::createTemporary(const std::function<int(const std::string&)>& create,
                                 std::string& reason) {
    std::random_device seed;
    std::mt19937 generator(seed());
    int error = EEXIST;
    for (int attempt = 0; attempt < kMaxNameAttempts && error == EEXIST; ++attempt) {
        const std::string candidate = hiddenNameBeside(targetPath, generator);
        error = create(candidate);
        if (error == 0) {
            temporary = candidate;
            return true;
        }
    }
    const fs::path folder =
        targetPath.parent_path().empty() ? fs::path(".") : targetPath.parent_path();
    reason = "no temporary file can be written in the folder '" + folder.string() +
             "': " + std::strerror(error);
    return false;
}

bool SafeOutput::commit(std::string& reason) {
    std::error_code error;
    const fs::file_status replaced = fs::status(targetPath, error);
    if (fs::is_regular_file(replaced)) {
        // The new file takes over what the old one allowed; a failure here keeps the
        // permissions of a new file, which is no reason to lose the output.
        fs::permissions(temporary, replaced.permissions(), error);
    }
    errno = 0;
    if (std::rename(temporary.c_str(), targetPath.c_str()) != 0) {
        reason = std::string("it cannot be replaced: ") + std::strerror(errno);
        return false;
    }
    committed = true;
    return true;
}

bool SafeOutput::keepOld(std::string& reason) {
    kept = Kept::kNothing;
    keptName.clear();
    struct stat seen {};
    if (lstat(targetPath.c_str(), &seen) != 0) {
        if (errno == ENOENT) {
            return true;  // nothing to keep
        }
        reason = systemText("it cannot be replaced: ");
        return false;
    }
    // Something else than a file or a link took the name during the run.
    if (S_ISDIR(seen.st_mode) || S_ISFIFO(seen.st_mode) || S_ISSOCK(seen.st_mode) ||
        S_ISCHR(seen.st_mode) || S_ISBLK(seen.st_mode)) {
        std::error_code ignored;
        reason = "it cannot be replaced: " +
                 fileTypeText(fs::symlink_status(targetPath, ignored).type()) +
                 ", not a regular file";
        return false;
    }
    std::random_device seed;
    std::mt19937 generator(seed());
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const std::string candidate = hiddenNameBeside(targetPath, generator);
        // A second name leaves the old file where it is until the new one replaces it.
        if (link(targetPath.c_str(), candidate.c_str()) == 0) {
            kept = Kept::kLinked;
            keptName = candidate;
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        // No hard links here: the old file moves aside, never over another file.
        int moved =
            renameat2(AT_FDCWD, targetPath.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // Nor a rename that refuses to replace: the name was free a moment ago.
            struct stat taken {};
            moved = lstat(candidate.c_str(), &taken) == 0
                        ? (errno = EEXIST, -1)
                        : std::rename(targetPath.c_str(), candidate.c_str());
        }
        if (moved == 0) {
            kept = Kept::kMovedAside;
            keptName = candidate;
            return true;
        }
        if (errno != EEXIST) {
            reason = systemText("it cannot be replaced: ");
            return false;
        }
    }
    reason = "it cannot be replaced: no free name beside it to keep the old file under";
    return false;
}

void SafeOutput::unkeepOld() {
    if (kept == Kept::kLinked) {
        unlink(keptName.c_str());
    } else if (kept == Kept::kMovedAside) {
        std::rename(keptName.c_str(), targetPath.c_str());
    }
    kept = Kept::kNothing;
    keptName.clear();
}

bool SafeOutput::commitKeepingOld(std::string& reason) {
    std::error_code error;
    const fs::file_status replaced = fs::status(targetPath, error);
    if (!keepOld(reason)) {
        return false;
    }
    struct stat made {};
    if (stat(temporary.c_str(), &made) != 0) {
        reason = systemText("it cannot be replaced: ");
        unkeepOld();
        return false;
    }
    if (fs::is_regular_file(replaced)) {
        fs::permissions(temporary, replaced.permissions(), error);
    }
    if (std::rename(temporary.c_str(), targetPath.c_str()) != 0) {
        reason = systemText("it cannot be replaced: ");
        unkeepOld();
        return false;
    }
    committedDevice = made.st_dev;
    committedInode = made.st_ino;
    committed = true;
    return true;
}

bool SafeOutput::restore(std::string& reason) {
    if (!committed) {
        unkeepOld();
        return true;
    }
    if (kept != Kept::kNothing) {
        if (std::rename(keptName.c_str(), targetPath.c_str()) != 0) {
            reason = systemText("the file it replaced is kept as '" + keptName + "': ");
            return false;
        }
    } else {
        // Only the file this run put there goes; whatever took its place since stays.
        struct stat seen {};
        if (lstat(targetPath.c_str(), &seen) == 0 && seen.st_dev == committedDevice &&
            seen.st_ino == committedInode && unlink(targetPath.c_str()) != 0) {
            reason = systemText("it cannot be removed: ");
            return false;
        }
    }
    kept = Kept::kNothing;
    keptName.clear();
    committed = false;
    temporary.clear();
    return true;
}

void SafeOutput::release() {
    if (kept != Kept::kNothing) {
        unlink(keptName.c_str());
    }
    kept = Kept::kNothing;
    keptName.clear();
}

}  // namespace cli
