#include "runtime/process/platform.h"

namespace quorvane {

namespace {
constinit ProcessPlatform* g_replacement = nullptr;
}  // namespace

ProcessPlatform& platform() { return g_replacement != nullptr ? *g_replacement : host_platform(); }

void set_platform(ProcessPlatform* replacement) { g_replacement = replacement; }

}  // namespace quorvane
