#include <string>
#include <system_error>

#include "filesafe/filesafe.h"

namespace filesafe {

namespace {

class FileErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "filesafe"; }
  std::string message(int code) const override {
    switch (static_cast<FileError>(code)) {
      case FileError::kNotRegularFile:
        return "not a regular file";
      case FileError::kShortRead:
        return "the file became shorter while it was read";
      case FileError::kForeignLink:
        return "a symbolic link on the way belongs to another user and lies in a folder that everyone "
               "may write (sticky); it is not followed for writing";
      case FileError::kEditFailed:
        return "the copy of the file could not be changed";
    }
    return "unknown error";
  }
};

}  // namespace

std::error_code make_error_code(FileError error) {
  static const FileErrorCategory category;
  return {static_cast<int>(error), category};
}

}  // namespace filesafe
