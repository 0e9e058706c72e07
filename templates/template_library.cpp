#include "templates/template_library.h"

#include "platform/platform.h"
#include "templates/mmd_file.h"

namespace cellforge {

Status TemplateLibrary::load(const std::string& sourceDirectory) {
  auto names = platform::listFolder(sourceDirectory, "*.mmd");
  if (!names) return names.error();
  if (names->empty()) return fail(sourceDirectory + ": no template files (*.mmd) in this folder");
  const platform::Folder folder(sourceDirectory);
  for (const std::string& name : *names) {
    const std::string path = sourceDirectory + name;
    auto bytes = folder.readFile(name);
    if (!bytes) return bytes.error();
    auto t = parseMmd(*bytes, path);
    if (!t) return t.error();
    add(std::move(*t), path);
  }
  return success();
}

void TemplateLibrary::add(Template t, std::string file) {
  for (size_t i = 0; i < templates_.size(); ++i) {
    if (templates_[i].id == t.id) {
      warnings_.push_back(file + ": template id " + std::to_string(t.id) + " is also used by " +
                          files_[i] + "; layouts will always use that one");
      break;
    }
  }
  templates_.push_back(std::move(t));
  files_.push_back(std::move(file));
}

const Template* TemplateLibrary::findById(int32_t id) const {
  for (const Template& t : templates_)
    if (t.id == id) return &t;
  return nullptr;
}

}  // namespace cellforge
