// The exported functions: thin wrappers over the process's one document. No
// exception may cross into a C caller, so every export catches and stands in.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cipher.h"
#include "document.h"
#include "file_cipher.h"
#include "inivault.h"
#include "result_string.h"

namespace {

inivault::Document g_document;

// Callers from other languages may pass null for an empty text.
std::string_view arg(const char* text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

inivault_bool flag(bool value) { return value ? 1 : 0; }

inivault_string transform_text(char* text, const char* key, inivault::Direction direction) {
  if (text == nullptr) return inivault::make_result_string({});
  try {
    std::string buffer(text);
    if (direction == inivault::Direction::kScramble) {
      inivault::scramble(buffer, arg(key));
    } else {
      inivault::unscramble(buffer, arg(key));
    }
    buffer.copy(text, buffer.size());
    // A scrambled block holding a zero byte cuts the result there.
    return inivault::make_result_string(std::string_view(text));
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

extern "C" {

inivault_bool INIVAULT_CALL ReadINIFile(const char* path) {
  try {
    return flag(g_document.read_file(std::string(arg(path))));
  } catch (...) {
    return 0;
  }
}

inivault_bool INIVAULT_CALL WriteINIFile(void) {
  try {
    return flag(g_document.write_file());
  } catch (...) {
    return 0;
  }
}

inivault_bool INIVAULT_CALL ClearINIFile(void) {
  g_document.reset();
  return 1;
}

int32_t INIVAULT_CALL GetNumberofINIKeys(void) { return static_cast<int32_t>(g_document.section_count()); }

int32_t INIVAULT_CALL GetNumberofINIValues(const char* section) {
  return g_document.value_count(arg(section));
}

int32_t INIVAULT_CALL GetValueInteger(const char* section, const char* name) {
  try {
    // strtol takes white space, a sign and the digits; out-of-range values clamp, not wrap.
    const std::string value = g_document.get_value(arg(section), arg(name));
    const long parsed = std::strtol(value.c_str(), nullptr, 10);
    if (parsed > INT32_MAX) return INT32_MAX;
    if (parsed < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(parsed);
  } catch (...) {
    return 0;
  }
}

inivault_string INIVAULT_CALL GetValueString(const char* section, const char* name) {
  const auto value = g_document.find_value(arg(section), arg(name));
  return inivault::make_result_string(value.value_or(std::string_view()));
}

inivault_bool INIVAULT_CALL SetValueInteger(const char* section, const char* name, int32_t value) {
  try {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    g_document.set_value(arg(section), arg(name), text, true);
  } catch (...) {
  }
  return 1;
}

inivault_bool INIVAULT_CALL SetValueString(const char* section, const char* name, const char* value) {
  try {
    g_document.set_value(arg(section), arg(name), arg(value), true);
  } catch (...) {
  }
  return 1;
}

inivault_bool INIVAULT_CALL Delete_Value(const char* section, const char* name) {
  g_document.delete_value(arg(section), arg(name));
  return 1;
}

inivault_bool INIVAULT_CALL Delete_Sektion(const char* section) {
  g_document.delete_section(arg(section));
  return 1;
}

inivault_string INIVAULT_CALL SCr(char* text, const char* key) {
  return transform_text(text, key, inivault::Direction::kScramble);
}

inivault_string INIVAULT_CALL SDe(char* text, const char* key) {
  return transform_text(text, key, inivault::Direction::kUnscramble);
}

inivault_bool INIVAULT_CALL FC(const char* path, const char* key) {
  try {
    return flag(inivault::transform_file(std::string(arg(path)), arg(key), inivault::Direction::kScramble));
  } catch (...) {
    return 0;
  }
}

inivault_bool INIVAULT_CALL FD(const char* path, const char* key) {
  try {
    return flag(inivault::transform_file(std::string(arg(path)), arg(key), inivault::Direction::kUnscramble));
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
