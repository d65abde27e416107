#include "generators/generator_catalogue.h"

#include <algorithm>

namespace quor {
namespace {

constexpr size_t kDialogCount = static_cast<size_t>(
    std::ranges::count_if(kGeneratorCatalogue, [](const GeneratorEntry& row) { return row.dialog != nullptr; }));

constexpr std::array<const SettingsDialogTable*, kDialogCount> kDialogs = [] {
  std::array<const SettingsDialogTable*, kDialogCount> dialogs{};
  size_t n = 0;
  for (const GeneratorEntry& row : kGeneratorCatalogue) {
    if (row.dialog != nullptr) dialogs[n++] = row.dialog;
  }
  return dialogs;
}();

}  // namespace

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

std::span<const SettingsDialogTable* const> BuiltinSettingsDialogs() { return kDialogs; }

const SettingsDialogTable* SettingsDialogFor(int typeId) {
  if (typeId < 0 || typeId > kMaxGeneratorType) return nullptr;
  return kGeneratorCatalogue[static_cast<size_t>(typeId)].dialog;
}

}  // namespace quor
