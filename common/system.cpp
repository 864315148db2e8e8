#include "common/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/errors.h"

extern char** environ;

namespace nv {

namespace {

Error os_error(int err) { return OSError(err, std::strerror(err)); }

Error io_error(int err, const std::string& path) {
  return Error(ErrorKind::IO, std::string(std::strerror(err)) + ": " + path, err);
}

class RealSystem : public System {
 public:
  std::optional<std::string> capture(const std::vector<std::string>& argv) override {
    if (argv.empty()) throw os_error(ENOENT);
    int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull < 0) throw os_error(errno);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      int e = errno;
      ::close(devnull);
      throw os_error(e);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, devnull, 2);

    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    ::close(devnull);
    if (rc != 0) {
      ::close(fds[0]);
      throw os_error(rc);
    }

    std::string out;
    char buf[65536];
    while (true) {
      ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n > 0) {
        out.append(buf, static_cast<size_t>(n));
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        break;
      }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) throw os_error(errno);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return out;
    return std::nullopt;
  }

  int shell(const std::string& line) override { return std::system(line.c_str()); }

  bool is_file(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  bool is_dir(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  std::string read_file(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw io_error(errno, path);
    std::string out;
    char buf[65536];
    while (true) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n > 0) {
        out.append(buf, static_cast<size_t>(n));
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        int e = errno;
        ::close(fd);
        throw io_error(e, path);
      }
    }
    ::close(fd);
    return out;
  }

  std::vector<std::string> list_dir(const std::string& path) override {
    DIR* d = ::opendir(path.c_str());
    if (!d) throw OSError(errno, std::string(std::strerror(errno)) + ": " + path);
    std::vector<std::string> out;
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") out.push_back(name);
    }
    ::closedir(d);
    return out;
  }
};

}  // namespace

std::shared_ptr<System> real_system() {
  static std::shared_ptr<System> sys = std::make_shared<RealSystem>();
  return sys;
}

}  // namespace nv
