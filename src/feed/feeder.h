// The feeder: the feed cycle over the latest directory (main), the delivery
// of one file (RUNIN) and the date and time stamp (TIMDAT).
//
// The routines' variables live as long as the Feeder, which in the program is
// the whole run: a delivery finds them as the previous one left them.
#pragma once

#include <cstdint>

#include "runtime/fixed_text.h"
#include "runtime/host/host.h"

namespace quorvane {

class Feeder {
 public:
  Feeder(HostServices& host, HostClock& clock) : host_(host), clock_(clock) {}

  // The start steps and the feed cycle; ends the process through stop_run.
  [[noreturn]] void main();
  void RUNIN(const FixedText<40>& INFILE, const FixedText<36>& OUTFILE);
  void TIMDAT(FixedText<8>& CDATE, FixedText<8>& CTIME);

 private:
  HostServices& host_;
  HostClock& clock_;
  // (variables of main and RUNIN follow)
};

}  // namespace quorvane
