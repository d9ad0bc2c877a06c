#include "cli/SafeOutput.h"

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

}  // namespace

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
    fs::path folder = targetPath.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string stem = targetPath.filename().string();
    if (stem.size() > kMaxStemLength) {
        stem.resize(kMaxStemLength);
    }
    std::random_device seed;
    std::mt19937 generator(seed());
    int error = EEXIST;
    for (int attempt = 0; attempt < kMaxNameAttempts && error == EEXIST; ++attempt) {
        const std::string candidate =
            (folder / ("." + stem + "." + randomSuffix(generator))).string();
        error = create(candidate);
        if (error == 0) {
            temporary = candidate;
            return true;
        }
    }
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

}  // namespace cli
