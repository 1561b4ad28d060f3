#include "runtime/process/fault.h"
#include <cstdlib>
namespace quorvane {
void fault_no_memory() { std::abort(); }
}
