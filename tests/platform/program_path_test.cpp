// The configuration beside the program file is found wherever the program
// lies: in folders with long paths, with non-ASCII (UTF-8) names, beyond the
// kernel's own path limit. Where the path cannot be had whole the load fails;
// it never reads some other file. Every case plants decoy configurations
// where a cut or misread path would lead. A configuration that is not a
// regular file fails to load, and a huge one loads; neither blocks the start.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const char kRealConfiguration[] = "Real 74 0 127\n";
const char kDecoyLabel[] = "Decoy";
// A probe that blocks is ended by SIGALRM after this long.
const unsigned kHangGuardSeconds = 60;

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteFileAt(int directory, const std::string& name, const std::string& bytes, mode_t mode) {
    const int fd = openat(directory, name.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            close(fd);
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return close(fd) == 0;
}

// Runs the program named name in the folder directory (by descriptor, so
// that paths longer than the kernel takes still work) with the working
// directory set to cwd, and returns its standard output.
std::string RunAt(int directory, const std::string& name, int cwd, int& status) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        status = -1;
        return "pipe failed";
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        if (fchdir(cwd) != 0) {
            _exit(126);
        }
        alarm(kHangGuardSeconds);
        char* const arguments[] = {const_cast<char*>(name.c_str()), nullptr};
        execveat(directory, name.c_str(), arguments, environ, 0);
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeEnds[0]);
    waitpid(child, &status, 0);
    return output;
}

struct PathCase {
    const char* name;
    std::vector<std::string> folders;  // below the test's own temporary folder
    const char* programName;
    const char* configurationName;
    // Past the kernel's path limit the path may be unavailable: then the
    // load must fail rather than read another file.
    bool mayFailToLoad;
};

void PrintTo(const PathCase& c, std::ostream* out) {
    *out << c.name;
}

std::string Repeated(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

std::vector<std::string> Folders(const std::string& name, size_t count) {
    return std::vector<std::string>(count, name);
}

const PathCase kCases[] = {
    {"ShortAsciiPath", {"synths"}, "Velmora", "Velmora.cfg", false},
    {"LongerThan260", Folders(Repeated("long-folder-name-", 4), 5), "Velmora", "Velmora.cfg",
     false},
    {"LongerThan260WithExtension", Folders(Repeated("x", 100), 3), "Velmora.exe", "Velmora.cfg",
     false},
    {"Utf8Names",
     {"Klänge", "シンセサイザー", "Синтезатор", "🎹 keys"},
     "Velmora",
     "Velmora.cfg",
     false},
    {"Utf8ProgramName", {"music"}, "Vélmöra", "Vélmöra.cfg", false},
    {"NotUtf8Names", {"Kl\xE4nge", "\xFF\xC3 \xED\xA0\x80"}, "V\xE9lmora", "V\xE9lmora.cfg", false},
    {"Utf8LongerThan260", Folders(Repeated("é", 60), 4), "Velmora", "Velmora.cfg", false},
    {"SpacesAndShellCharacters",
     {"My Synths", "a'b \"c\"", "x;y$z&(1)"},
     "Velmora",
     "Velmora.cfg",
     false},
    {"LongerThanPathMax", Folders(Repeated("p", 250), 20), "Velmora", "Velmora.cfg", true},
};

class ProgramPath : public ::testing::TestWithParam<PathCase> {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-path-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
        root_ = pattern;
        probe_ = ReadWholeFile(VELMORA_PROBE_PATH);
        ASSERT_FALSE(probe_.empty()) << "cannot read " << VELMORA_PROBE_PATH;
    }

    void TearDown() override {
        for (const int fd : folderFds_) {
            close(fd);
        }
        if (!root_.empty()) {
            // rm goes down by descriptor, so it removes paths of any length.
            const std::string command = "rm -rf '" + root_ + "'";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
    }

    // Makes the folders one below the other; returns the full path of the
    // deepest one. Every folder's descriptor is kept in folderFds_.
    std::string MakeFolders(const std::vector<std::string>& folders) {
        std::string path = root_;
        int parent = open(root_.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
        folderFds_.push_back(parent);
        for (const std::string& folder : folders) {
            EXPECT_EQ(mkdirat(parent, folder.c_str(), 0755), 0)
                << folder << ": " << std::strerror(errno);
            parent = openat(parent, folder.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
            EXPECT_GE(parent, 0) << folder << ": " << std::strerror(errno);
            folderFds_.push_back(parent);
            path += "/" + folder;
        }
        return path;
    }

    // Decoy configurations where the first length characters of the
    // program's path would lead: with their last three characters replaced
    // by "cfg", and with ".cfg" appended.
    void PlantCutPathDecoys(const std::string& programPath, size_t length) {
        if (programPath.size() <= length) {
            return;
        }
        const std::string cut = programPath.substr(0, length);
        for (const std::string& decoy : {cut.substr(0, length - 3) + "cfg", cut + ".cfg"}) {
            const size_t slash = decoy.find_last_of('/');
            const std::string name = decoy.substr(slash + 1);
            // The folder is one of ours, as deep as it has slashes below the root.
            const std::string below = decoy.substr(root_.size(), slash - root_.size());
            const size_t depth = static_cast<size_t>(std::count(below.begin(), below.end(), '/'));
            ASSERT_LT(depth, folderFds_.size()) << decoy;
            if (name.size() <= 255 && name != "cfg" && name != ".cfg") {
                EXPECT_TRUE(WriteFileAt(folderFds_[depth], name,
                                        std::string(kDecoyLabel) + "Cut 1 2 3\n", 0644))
                    << "decoy " << decoy;
                ++decoysPlanted_;
            }
        }
    }

    std::string root_;
    std::string probe_;
    std::vector<int> folderFds_;
    int decoysPlanted_ = 0;
};

TEST_P(ProgramPath, FindsTheConfigurationBesideTheProgramOrFails) {
    const PathCase& c = GetParam();
    const std::string folder = MakeFolders(c.folders);
    const std::string programPath = folder + "/" + c.programName;
    ASSERT_TRUE(WriteFileAt(folderFds_.back(), c.programName, probe_, 0755)) << c.name;
    ASSERT_TRUE(WriteFileAt(folderFds_.back(), c.configurationName, kRealConfiguration, 0644))
        << c.name;

    // Decoys: in the working directory, in every folder above the program's,
    // and where a path cut at Windows' MAX_PATH, at the 256-character buffer
    // or at the kernel's PATH_MAX would lead.
    for (size_t level = 0; level + 1 < folderFds_.size(); ++level) {
        ASSERT_TRUE(WriteFileAt(folderFds_[level], c.configurationName,
                                std::string(kDecoyLabel) + "Above 1 2 3\n", 0644));
        ASSERT_TRUE(WriteFileAt(folderFds_[level], "Velmora.cfg",
                                std::string(kDecoyLabel) + "Default 1 2 3\n", 0644));
    }
    for (const size_t length : {size_t{255}, size_t{259}, size_t{4095}}) {
        PlantCutPathDecoys(programPath, length);
    }

    if (programPath.size() > 259) {
        EXPECT_GT(decoysPlanted_, 0) << c.name << ": no decoy where a cut path leads";
    }

    int status = 0;
    const std::string output = RunAt(folderFds_.back(), c.programName, folderFds_.front(), status);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << c.name << " (" << programPath.size() << " bytes): status " << status;
    EXPECT_EQ(output.find(kDecoyLabel), std::string::npos)
        << c.name << " read another file: " << output;
    std::printf("%s (%zu bytes): %s\n", c.name, programPath.size(),
                output == "not loaded\n" ? "not loaded" : "loaded");
    if (c.mayFailToLoad && output == "not loaded\n") {
        return;
    }
    EXPECT_EQ(output, "loaded\nReal\n") << c.name << " (" << programPath.size() << " bytes)";
}

INSTANTIATE_TEST_SUITE_P(Folders, ProgramPath, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct HostileConfiguration {
    const char* name;
    // Makes the configuration at path; false when it could not.
    bool (*make)(const std::string& path);
};

bool MakeLinkToDevZero(const std::string& path) {
    return symlink("/dev/zero", path.c_str()) == 0;
}

bool MakeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0644) == 0;
}

bool MakeDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0755) == 0;
}

// One parameter, then 2 GB without a line feed, taking no room on the disk.
bool MakeHugeSparseFile(const std::string& path) {
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    const std::string first = kRealConfiguration;
    const bool made = fd >= 0 &&
                      write(fd, first.data(), first.size()) == static_cast<ssize_t>(first.size()) &&
                      ftruncate(fd, off_t{2} << 30) == 0;
    return fd >= 0 && close(fd) == 0 && made;
}

bool MakeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool made =
        fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    return fd >= 0 && close(fd) == 0 && made;
}

TEST(HostileConfiguration, LoadsOrFailsWithoutBlocking) {
    const HostileConfiguration cases[] = {
        {"link to /dev/zero", MakeLinkToDevZero},
        {"FIFO", MakeFifo},
        {"directory", MakeDirectory},
        {"2 GB, one line feed", MakeHugeSparseFile},
        {"socket", MakeSocket},
    };
    char pattern[] = "/tmp/velmora-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
    const std::string root = pattern;
    const std::string probe = ReadWholeFile(VELMORA_PROBE_PATH);
    ASSERT_FALSE(probe.empty()) << "cannot read " << VELMORA_PROBE_PATH;

    std::string outcomes;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string folder = root + "/" + std::to_string(i);
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0) << folder;
        const int folderFd = open(folder.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
        ASSERT_TRUE(WriteFileAt(folderFd, "Velmora", probe, 0755));
        ASSERT_TRUE(cases[i].make(folder + "/Velmora.cfg")) << cases[i].name;
        int status = 0;
        const std::string output = RunAt(folderFd, "Velmora", folderFd, status);
        close(folderFd);
        outcomes += std::string(cases[i].name) + ": " +
                    (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? "blocked\n" : output);
    }
    EXPECT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
    EXPECT_EQ(outcomes,
              "link to /dev/zero: not loaded\n"
              "FIFO: not loaded\n"
              "directory: not loaded\n"
              "2 GB, one line feed: loaded\nReal\n"
              "socket: not loaded\n");
}

}  // namespace
