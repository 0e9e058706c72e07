#pragma once

#include <string>
#include <vector>

#include "platform/result.h"
#include "templates/records.h"

namespace cellforge {

// Every template of the source folder, in the folder's sorted order.
class TemplateLibrary {
 public:
  // Appends one template per "*.mmd" file of `sourceDirectory` (ending in a
  // separator). The first file that fails ends the load; the templates
  // before it stay. Fails too when no file matches.
  Status load(const std::string& sourceDirectory);
  // Appends one template (tests and tools build libraries by hand).
  void add(Template t, std::string file = {});

  bool empty() const { return templates_.empty(); }
  size_t size() const { return templates_.size(); }
  const Template& at(size_t index) const { return templates_[index]; }
  const std::vector<Template>& templates() const { return templates_; }
  const std::string& fileOf(size_t index) const { return files_[index]; }

  size_t first() const { return 0; }
  size_t nextCyclic(size_t index) const { return index + 1 < templates_.size() ? index + 1 : 0; }
  // The first template with this id, or none.
  const Template* findById(int32_t id) const;

  // Lines for the user about what loaded but looks wrong (duplicate ids).
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  std::vector<Template> templates_;
  std::vector<std::string> files_;
  std::vector<std::string> warnings_;
};

}  // namespace cellforge
