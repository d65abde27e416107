// Applies a planned matrix output (output/matrix_output_plan.h) to the
// engine in one step: the plan's devices are appended to the device list
// and the whole matrix is patched to them. UI thread, outputs stopped.
#pragma once

#include <string>

#include "output/matrix_output_plan.h"

namespace quor {

class Engine;

inline constexpr const char* kMatrixOutputRunningMessage =
    "Output is running. Stop the output before setting up a matrix output.";

// Appends the plan's devices after the existing ones and replaces the patch
// of every pixel with the plan's. Returns false and changes nothing when the
// plan has an error, the output runs, the matrix size is no longer the
// planned one or the device list has no room; `why` (when given) then says
// which. On success prints one console line saying what was added.
bool ApplyMatrixOutput(Engine& engine, const MatrixOutputPlan& plan, std::string* why = nullptr);

}  // namespace quor
