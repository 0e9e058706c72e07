// The template reader on arbitrary bytes: it either refuses the file with
// one line or yields a template that writes back to bytes it reads the same.
#include <cstdlib>
#include <string_view>

#include "templates/mmd_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cellforge;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto t = parseMmd(bytes, "fuzz.mmd");
  if (!t) {
    if (t.message().find('\n') != std::string::npos) std::abort();
    return 0;
  }
  auto again = parseMmd(encodeMmd(*t), "again.mmd");
  if (!again || !(*again == *t)) std::abort();
  return 0;
}
