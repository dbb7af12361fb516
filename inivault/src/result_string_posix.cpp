// Results are zero-terminated UTF-16 strings from Windows-1252 bytes, owned by the
// caller and released with FreeString.
#include <cstdlib>
#include <cstring>
#include <new>

#include "cp1252.h"
#include "result_string.h"

namespace inivault {

inivault_string make_result_string(std::string_view bytes) {
  try {
    const std::u16string wide = cp1252_to_utf16(bytes);
    auto* result = static_cast<char16_t*>(std::malloc((wide.size() + 1) * sizeof(char16_t)));
    if (result == nullptr) return nullptr;
    std::memcpy(result, wide.data(), wide.size() * sizeof(char16_t));
    result[wide.size()] = u'\0';
    return result;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace inivault

extern "C" INIVAULT_API void INIVAULT_CALL FreeString(inivault_string text) { std::free(text); }
