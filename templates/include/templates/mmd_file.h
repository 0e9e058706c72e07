#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"
#include "templates/records.h"

namespace cellforge {

inline constexpr std::string_view kMmdMagic = "ORVANDEL SOFTWORKS     .MMD (1.0)";
inline constexpr size_t kMmdCellRecordSize = 22;

// Decodes one template file. `name` is what messages call the file. A file
// that ends before the fields it announces is refused whole.
Expected<Template> parseMmd(std::string_view bytes, std::string_view name);

// The template in the same byte layout.
std::string encodeMmd(const Template& t);

}  // namespace cellforge
