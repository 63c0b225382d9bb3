#include "velmora-cfg/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
int CreateNew(const fs::path& path) {
    return _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int WriteSome(int file, const char* bytes, size_t size) {
    return _write(file, bytes, static_cast<unsigned>(size));
}
int Close(int file) {
    return _close(file);
}
#else
int CreateNew(const fs::path& path) {
    return open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
}
ssize_t WriteSome(int file, const char* bytes, size_t size) {
    return write(file, bytes, size);
}
int Close(int file) {
    return close(file);
}
#endif

// Creates FOLDER as the user named it (a link is theirs to choose), then its
// subfolders one by one, so that none of them is a link.
Result<Done> MakeFolders(const fs::path& folder, const fs::path& relative) {
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        return Problem{"cannot make the folder " + folder.u8string() + ": " + made.message()};
    }
    fs::path at = folder;
    for (const fs::path& part : relative) {
        at /= part;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(at, error);
        if (status.type() == fs::file_type::not_found) {
            if (!fs::create_directory(at, error) && error) {
                return Problem{"cannot make the folder " + at.u8string() + ": " + error.message()};
            }
        } else if (error) {
            return Problem{at.u8string() + ": " + error.message()};
        } else if (fs::is_symlink(status)) {
            return Problem{at.u8string() + " is a symbolic link: nothing is written through it"};
        } else if (!fs::is_directory(status)) {
            return Problem{at.u8string() + " is not a folder"};
        }
    }
    return Done{};
}

// The text in a new file beside target, under a name no one else uses; its
// path.
Result<fs::path> WriteTemporary(const fs::path& target, const std::string& text) {
    fs::path temporary;
    int file = -1;
    for (int attempt = 0; attempt < 100 && file < 0; ++attempt) {
        temporary = target;
        temporary.replace_filename("." + target.filename().u8string() + "." +
                                   std::to_string(attempt) + ".tmp");
        errno = 0;
        file = CreateNew(temporary);
        if (file < 0 && errno != EEXIST) {
            break;
        }
    }
    if (file < 0) {
        return Problem{"cannot write " + target.u8string() + ": " + std::strerror(errno)};
    }
    size_t done = 0;
    while (done < text.size()) {
        const auto written = WriteSome(file, text.data() + done, text.size() - done);
        if (written <= 0) {
            break;
        }
        done += static_cast<size_t>(written);
    }
    const int writeError = done < text.size() ? errno : 0;
    if (Close(file) != 0 || writeError != 0) {
        const int reason = writeError != 0 ? writeError : errno;
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return Problem{"cannot write " + target.u8string() + ": " + std::strerror(reason)};
    }
    return temporary;
}

}  // namespace

Result<Done> WriteFileInFolder(const fs::path& folder, const fs::path& relative,
                               const std::string& text, bool replace) {
    const Result<Done> folders = MakeFolders(folder, relative.parent_path());
    if (!folders) {
        return folders;
    }
    const fs::path target = folder / relative;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    if (fs::is_symlink(status)) {
        return Problem{target.u8string() + " is a symbolic link: left as it is",
                       ExitStatus::kWarnings};
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return Problem{target.u8string() + " exists and is not a file"};
    }
    if (fs::exists(status) && !replace) {
        return Problem{target.u8string() + " exists: kept (--force replaces it)",
                       ExitStatus::kWarnings};
    }
    const Result<fs::path> temporary = WriteTemporary(target, text);
    if (!temporary) {
        return *temporary.problem;
    }
    fs::rename(temporary.value, target, error);
    if (error) {
        const std::string reason = error.message();
        fs::remove(temporary.value, error);
        return Problem{"cannot write " + target.u8string() + ": " + reason};
    }
    return Done{};
}
