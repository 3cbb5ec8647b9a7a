// A temporary file that never outlives its purpose: made beside the file it
// will become, unnamed (O_TMPFILE) where the file system allows, so that even
// SIGKILL leaves nothing, else under a short unique name. A named one is
// removed when it is destroyed without being committed, and as well when
// SIGINT or SIGTERM ends the process while it exists (the signal then goes on
// to end the process as it would have).
#pragma once

#include <string>

namespace r3k {

class TemporaryFile {
 public:
  // Creates an unnamed file, or "DIR/.r3k-XXXXXX", for target "DIR/NAME". Throws r3k::Error
  // "cannot write NAME: REASON" when it cannot, NAME being `shown_as` (the
  // path the user gave, which may be a link to the target) or else the target.
  explicit TemporaryFile(const std::string& target, const std::string& shown_as = "");
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }  // empty while unnamed

  // Closes the file and renames it to `target` in one step (an unnamed one
  // first gets a short name beside it). After a failure the destructor still
  // removes the temporary.
  void commit(const std::string& target);

 private:
  void link_unnamed();

  std::string shown_as_;
  std::string directory_;
  std::string path_;
  int descriptor_ = -1;
  int slot_ = -1;  // its entry among the live temporaries
  bool committed_ = false;
};

// How many temporaries exist now; a test's view of the registry.
int live_temporary_files();

}  // namespace r3k
