#include "cli/output_paths.h"

#include <sys/stat.h>

#include <filesystem>

#include "common/error.h"

namespace r3k::cli {
namespace {

// The file a path names: its device and inode when it exists, else the
// place it would be made at.
std::string identity(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0)
    return "inode " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  std::error_code error;
  const std::filesystem::path place = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
  return "path " + (error ? path : place.string());
}

}  // namespace

void refuse_shared_outputs(const std::string& command, const std::vector<NamedPath>& inputs,
                           const std::vector<NamedPath>& outputs) {
  std::vector<std::pair<const NamedPath*, std::string>> seen;
  for (const NamedPath& input : inputs)
    if (!input.path.empty()) seen.emplace_back(&input, identity(input.path));
  for (const NamedPath& output : outputs) {
    if (output.path == "-" || output.path.empty()) continue;
    const std::string id = identity(output.path);
    for (const auto& [other, other_id] : seen)
      if (id == other_id)
        throw Error(command + ": " + output.role + " " + output.path + " is the same file as " + other->role + " " +
                    other->path + "; write it elsewhere");
    seen.emplace_back(&output, id);
  }
}

}  // namespace r3k::cli
