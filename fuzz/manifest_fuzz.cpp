// `cellforge-template build` on arbitrary manifests: a manifest is refused
// with one line, or it gives a template file that reads back as the same
// template, and whose text form parses to it again. The same bytes also go
// through the layout printer of `show`.
#include <cstdlib>
#include <string>
#include <string_view>

#include "template_tool/manifest.h"
#include "templates/mmd_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cellforge;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto layout = decodeLayout(text, "fuzz.mtf")) {
    (void)formatLayout(*layout);
  } else if (layout.message().find('\n') != std::string::npos) {
    std::abort();
  }

  auto t = parseManifest(text, "fuzz.txt");
  if (!t) {
    if (t.message().find('\n') != std::string::npos) std::abort();
    return 0;
  }
  auto file = parseMmd(encodeMmd(*t), "fuzz.mmd");
  if (!file || !(*file == *t)) std::abort();
  auto again = parseManifest(formatManifest(*t), "again.txt");
  if (!again || !(*again == *t)) std::abort();
  return 0;
}
