// Console records: free-form, formatted and internal records, and the stop.
//
// Every line of standard output is a record handed to the console channel in
// pieces of at most 132 characters. The first character of each record is
// carriage control and not shown; a line's end is written only before the
// next record, at the stop and at the end of the process.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "runtime/console/items.h"
#include "runtime/fixed_text.h"

namespace quorvane {

// Items laid out by their kinds alone; may become several console lines.
void write_free_record(std::initializer_list<Item> items);

// Items laid out by a format text such as "(a,i10)".
void write_formatted_record(std::string_view format, std::initializer_list<Item> items);

// One formatted record written into the target, blank-filled to its end. Never
// touches the console.
void format_into(FieldRef target, std::string_view format, std::initializer_list<Item> items);

// Writes the stop and ends the process with status 0.
[[noreturn]] void stop_run();
[[noreturn]] void stop_run(std::string_view message);

// Whether a record has been handed to the console whose line has not ended.
bool console_line_open();

// The console channel in its start state; part of the process start.
void reset_console();

}  // namespace quorvane
