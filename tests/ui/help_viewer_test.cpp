// Help pages: every help id a window or dialog opens has its page.
#include "ui/help_viewer.h"

#include <filesystem>
#include <map>
#include <regex>

#include "generators/generator_catalogue.h"
#include "ui_support.h"

namespace quor {
namespace {

// Help ids as the sources name them (k...Help... constants, literal ids given to "quorHelpId"
// or F1 handlers), so a new window's id is found without a list to keep up to date.
std::map<int, std::string> HelpIdsInSources() {
  const std::regex constant(R"(constexpr\s+int\s+(k\w*Help\w*)\s*=\s*(\d+)\s*;)");
  const std::regex literal(R"((?:"quorHelpId",\s*|[oO]penHelp_?\()(\d+)\))");
  std::map<int, std::string> ids;
  for (const char* folder : {"ui", "generators", "audio", "engine"}) {
    for (const auto& entry : std::filesystem::directory_iterator(std::string(QUOR_SOURCE_DIR) + "/" + folder)) {
      const std::vector<uint8_t> bytes = test::ReadFileBytes(entry.path().string());
      const std::string source(bytes.begin(), bytes.end());
      const std::string where = std::string(folder) + "/" + entry.path().filename().string();
      for (std::sregex_iterator m(source.begin(), source.end(), constant), end; m != end; ++m) {
        ids.emplace(std::stoi((*m)[2]), (*m)[1].str() + " in " + where);
      }
      for (std::sregex_iterator m(source.begin(), source.end(), literal), end; m != end; ++m) {
        ids.emplace(std::stoi((*m)[1]), "a literal id in " + where);
      }
    }
  }
  return ids;
}

TEST(HelpPages, EveryHelpIdUsedByAWindowOpensItsPage) {
  std::map<int, std::string> ids = HelpIdsInSources();
  for (const SettingsDialogTable* dialogTable : BuiltinSettingsDialogs()) {
    ids.emplace(dialogTable->helpTopic, std::string(dialogTable->title) + "'s dialog table");
  }
  // The scan must see the windows' ids, or it proves nothing.
  for (int known : {kHelpMainWindow, kHelpMatrixSize, 26, 29, 31, 34}) EXPECT_TRUE(ids.contains(known)) << known;
  HelpViewer viewer(QStringLiteral(QUOR_SOURCE_DIR "/share/help"));
  for (const auto& [id, name] : ids) {
    EXPECT_TRUE(viewer.Open(id)) << "no help page share/help/" << id << ".html for " << name;
  }
  viewer.close();
}

}  // namespace
}  // namespace quor
