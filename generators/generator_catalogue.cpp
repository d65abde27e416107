#include "generators/generator_catalogue.h"

#include <vector>

namespace quor {
void RegisterBuiltinGenerators(GeneratorRegistry& registry) {
  for (const GeneratorEntry& row : kGeneratorCatalogue) registry.Register(row.type, row.factory);
}

const GeneratorRegistry& BuiltinGenerators() {
  static const GeneratorRegistry registry = [] {
    GeneratorRegistry r(CatalogueEntry(kNoneType).factory);
    RegisterBuiltinGenerators(r);
    return r;
  }();
  return registry;
}

std::span<const SettingsDialogTable* const> BuiltinSettingsDialogs() {
  // Built at run time: sanitizer builds do not treat addresses as constants.
  static const std::vector<const SettingsDialogTable*> dialogs = [] {
    std::vector<const SettingsDialogTable*> tables;
    for (const GeneratorEntry& row : kGeneratorCatalogue) {
      if (row.dialog != nullptr) tables.push_back(row.dialog);
    }
    return tables;
  }();
  return dialogs;
}

const SettingsDialogTable* SettingsDialogFor(int typeId) {
  if (typeId < 0 || typeId > kMaxGeneratorType) return nullptr;
  return kGeneratorCatalogue[static_cast<size_t>(typeId)].dialog;
}

}  // namespace quor
