// The local machine as the checker sees it: programs it runs and files it
// reads.  The real one runs programs and touches the file system; tests use
// fakes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nv {

class System {
 public:
  virtual ~System() = default;

  // Runs argv (searched on PATH like execvp) without a shell, standard error
  // to the null device, standard input inherited, and waits for it.  Gives
  // its whole standard output when it exits with status 0, no value for any
  // other exit.  A program that cannot be started raises OSError.
  virtual std::optional<std::string> capture(const std::vector<std::string>& argv) = 0;

  // Runs a line through /bin/sh, like the C library's system(); gives its
  // exit status, which callers are free to ignore.
  virtual int shell(const std::string& line) = 0;

  virtual bool is_file(const std::string& path) = 0;
  virtual bool is_dir(const std::string& path) = 0;
  // Whether anything at all is there (links followed).
  virtual bool exists(const std::string& path) { return is_file(path) || is_dir(path); }
  // Whole content of a file; raises IOError when it cannot be read.
  virtual std::string read_file(const std::string& path) = 0;
  // Names in a directory (no "." or ".."); raises OSError on failure.
  virtual std::vector<std::string> list_dir(const std::string& path) = 0;
};

// The process-wide real system.
std::shared_ptr<System> real_system();

}  // namespace nv
