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
  constexpr Feeder(HostServices& host, HostClock& clock) : host_(host), clock_(clock) {}

  // The start steps and the feed cycle; ends the process through stop_run.
  [[noreturn]] void main();
  void RUNIN(const FixedText<40>& INFILE, const FixedText<36>& OUTFILE);
  void TIMDAT(FixedText<8>& CDATE, FixedText<8>& CTIME);

  // STATE values of the feed cycle.
  static constexpr std::int32_t kReady = 1;
  static constexpr std::int32_t kNotReady = 3;

 private:
  // The variables of main.
  struct MainVariables {
    FixedText<42> PATTERN;
    EnumHandle HANDLE = FILE_FIRST;
    std::int32_t LENGTH = 0;
    FileInfo INFO;
    FixedText<180> CMD;       // the mirror command
    Logical OK = kFalse;      // whether the mirror command was run
    std::int32_t STATUS = 0;  // the mirror's exit status; the mirror carries no data
    float ERRNUM = 0.0F;
    FixedText<40> INFILE;
    FixedText<36> OUTFILE;
    Logical EXISTS = kFalse;
    Logical INUSE = kFalse;
    std::int32_t STATE = kNotReady;
  };

  // The variables of RUNIN; of these only NRQ carries from one delivery on.
  struct RuninVariables {
    FixedText<26> NEXTB;
    FixedText<180> CMD;
    Logical OK = kFalse;      // whether the last remote step succeeded
    std::int32_t STATUS = 0;  // exit status of the last remote command
    Logical TMPEX = kFalse;   // temp.txt exists after the upload
    Logical TMPUS = kFalse;   // and is one of the program's own units
    float ERRNUM = 0.0F;
    FixedText<120> LINE;
    FixedText<8> CDATE;
    FixedText<8> CTIME;
    std::int32_t NRQ = 0;  // exit status of the last local move of this run
  };

  // The variables of TIMDAT.
  struct TimdatVariables {
    std::int16_t IYEAR = 0;
    std::int16_t IMONTH = 0;
    std::int16_t IDAY = 0;
    std::int16_t IHOUR = 0;
    std::int16_t IMIN = 0;
    std::int16_t ISEC = 0;
  };

  HostServices& host_;
  HostClock& clock_;
  MainVariables main_;
  RuninVariables runin_;
  TimdatVariables timdat_;
};

}  // namespace quorvane
