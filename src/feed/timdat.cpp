// The date and time stamp of a record line (TIMDAT): two columns each for
// day, month and year of the century, and for hour, minute and second.

#include <cstdint>
#include <limits>

#include "feed/feeder.h"
#include "runtime/console/records.h"
#include "runtime/process/fault.h"
#include "runtime/process/frames.h"

namespace quorvane {
namespace {

// A value stored into a 2-byte integer; one that does not fit is a fault.
std::int16_t to_short(std::int32_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    fault_short_overflow();  // returns only while the exit step runs
  }
  return static_cast<std::int16_t>(value);
}

}  // namespace

void Feeder::TIMDAT(FixedText<8>& CDATE, FixedText<8>& CTIME) {
  RoutineFrame frame;
  push_frame(frame);
  frame.source_file = "TIMDAT";
  frame.routine_name = "TIMDAT";
  TimdatVariables& v = timdat_;

  // The date and the time are two separate readings of the clock.
  frame.at(__LINE__ + 1);
  clock_.local_date(v.IYEAR, v.IMONTH, v.IDAY);
  frame.at(__LINE__ + 1);
  v.IYEAR = to_short(v.IYEAR - 2000);
  frame.at(__LINE__ + 1);
  format_into(CDATE, "(I2,A1,I2,A1,I2)", {v.IDAY, "-", v.IMONTH, "-", v.IYEAR});
  frame.at(__LINE__ + 1);
  clock_.local_time(v.IHOUR, v.IMIN, v.ISEC);
  frame.at(__LINE__ + 1);
  format_into(CTIME, "(I2,A1,I2,A1,I2)", {v.IHOUR, ":", v.IMIN, ":", v.ISEC});

  pop_frame();
}

}  // namespace quorvane
