#include "files/chase_beats_section.h"

#include <QJsonArray>
#include <limits>

#include "show/show_limits.h"

namespace quor {

QJsonObject ChaseBeatsJson(std::span<const ChaseStepBeats> beats) {
  if (beats.empty()) return {};
  QJsonArray steps;
  for (const ChaseStepBeats& b : beats) steps.append(QJsonArray{b.chase, b.step, b.quarters});
  return QJsonObject{{"steps", steps}};
}

ChaseBeatsRead ParseChaseBeats(const QJsonObject& section) {
  ChaseBeatsRead read;
  if (section.isEmpty()) return read;
  const QJsonValue steps = section.value("steps");
  if (!steps.isArray()) {
    read.problem = "\"steps\" is not a list";
    return read;
  }
  const QJsonArray list = steps.toArray();
  if (static_cast<int64_t>(list.size()) > int64_t{kMaxShowChases} * kMaxChaseSteps) {
    read.problem = "more beat steps than a project can hold";
    return read;
  }
  read.beats.reserve(static_cast<size_t>(list.size()));
  for (qsizetype i = 0; i < list.size(); ++i) {
    const QJsonArray entry = list.at(i).toArray();
    std::optional<int> values[3];
    if (entry.size() == 3) {
      for (int k = 0; k < 3; ++k) {
        values[k] = SideInt(QJsonObject{{"v", entry.at(k)}}, "v", 0, std::numeric_limits<int32_t>::max());
      }
    }
    if (!values[0] || !values[1] || !values[2]) {
      read.problem = "entry " + std::to_string(i + 1) + " is not three whole numbers";
      read.beats.clear();
      return read;
    }
    read.beats.push_back({*values[0], *values[1], *values[2]});
  }
  return read;
}

}  // namespace quor
