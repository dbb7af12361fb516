#include "file_cipher.h"

#include "cipher.h"
#include "file_io.h"

namespace inivault {

bool transform_file(const std::string& path, std::string_view key, Direction direction,
                    std::error_code* why) {
  if (key.empty()) return false;
  auto data = read_whole_file(path, why);
  if (!data) return false;
  const Cipher cipher(key);
  if (direction == Direction::kScramble) {
    cipher.scramble(*data);
  } else {
    cipher.unscramble(*data);
  }
  return replace_file(path, *data, why);
}

}  // namespace inivault
