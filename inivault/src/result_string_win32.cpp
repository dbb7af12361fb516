// Results are BSTRs converted through the ANSI code page, for callers that free
// them with SysFreeString.
#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <climits>
#include <string>

#include "result_string.h"

namespace inivault {

inivault_string make_result_string(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    return SysAllocStringLen(nullptr, 0);
  }
  const int in_len = static_cast<int>(bytes.size());
  const int out_len = MultiByteToWideChar(CP_ACP, 0, bytes.data(), in_len, nullptr, 0);
  if (out_len <= 0) return SysAllocStringLen(nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(out_len));
  if (result != nullptr) MultiByteToWideChar(CP_ACP, 0, bytes.data(), in_len, result, out_len);
  return result;
}

}  // namespace inivault
