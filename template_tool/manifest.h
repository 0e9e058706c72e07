#pragma once

#include <string>
#include <string_view>

#include "layout/layout_file.h"
#include "platform/result.h"
#include "templates/records.h"

namespace cellforge {

// The text form of one template:
//
//   id 12
//   piece hall_2x2.map
//   triple 0 0 0
//   cell 0 0 0 +y -x
//   cell 1 0 0 -x templateId 0 occupied 0
//
// Open sides are "+y", "-y", "+x", "-x"; `templateId` and `occupied` are
// optional (0 when left out). Blank lines and lines starting with '#' are
// skipped. `where` is what messages call the text.
Expected<Template> parseManifest(std::string_view text, std::string_view where);

// The canonical text of a template; parseManifest of it gives the template
// back, so .mmd -> text -> .mmd reproduces the file byte for byte.
std::string formatManifest(const Template& t);

// A layout file (sample.mtf) as text: its grid size and one line per record.
std::string formatLayout(const Layout& layout);

}  // namespace cellforge
