#include "runtime/console/console_channel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/process/ending.h"
#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

using Writes = std::vector<std::string>;

void write_record(ConsoleChannel& channel, std::string_view text) {
  channel.begin_record();
  channel.put(text);
  channel.end_record();
}

TEST(ConsoleChannelTest, CarriageControlBytesForEachFirstCharacter) {
  struct Case {
    std::string_view record;
    Writes first_of_run;  // line_open clear
    Writes later;         // line_open set
  };
  const Case cases[] = {
      {" abc", {"abc"}, {"\r\n", "abc"}},
      {"xabc", {"abc"}, {"\r\n", "abc"}},
      {"0abc", {"\r\n", "abc"}, {"\r\n\r\n", "abc"}},
      {"1abc", {"\r\n\f\r \r", "abc"}, {"\r\n\f\r \r", "abc"}},
      {"+abc", {"\r", "abc"}, {"\r", "abc"}},
      // Nothing after the control character: no write of an empty piece.
      {"0", {"\r\n"}, {"\r\n\r\n"}},
      {" ", {}, {"\r\n"}},
      // A record with no character at all is a blank one: an empty line.
      {"", {}, {"\r\n"}},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    ConsoleChannel channel;
    EXPECT_FALSE(channel.line_open());
    write_record(channel, c.record);
    EXPECT_EQ(host.stdout_writes(), c.first_of_run) << "first record \"" << c.record << "\"";
    EXPECT_TRUE(channel.line_open());

    RecordingPlatform later_host;
    write_record(channel, c.record);
    EXPECT_EQ(later_host.stdout_writes(), c.later) << "later record \"" << c.record << "\"";
  }
}

TEST(ConsoleChannelTest, LongRecordsAreHandedOverIn132CharacterPieces) {
  auto text = [](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
    return s;
  };
  struct Case {
    std::size_t length;
    std::vector<std::size_t> piece_sizes;  // after the carriage control
  };
  const Case cases[] = {
      {131, {130}},     {132, {131}},      {133, {131, 1}},
      {200, {131, 68}}, {264, {131, 132}}, {265, {131, 132, 1}},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    ConsoleChannel channel;
    std::string record(1, '0');
    record += text(c.length - 1);
    write_record(channel, record);
    ASSERT_EQ(host.stdout_writes().size(), c.piece_sizes.size() + 1) << c.length;
    EXPECT_EQ(host.stdout_writes()[0], "\r\n");
    std::size_t at = 1;
    for (std::size_t i = 0; i < c.piece_sizes.size(); ++i) {
      EXPECT_EQ(host.stdout_writes()[i + 1], record.substr(at, c.piece_sizes[i])) << c.length;
      at += c.piece_sizes[i];
    }
  }
}

TEST(ConsoleChannelTest, BytesReachTheOutputUnchanged) {
  RecordingPlatform host;
  ConsoleChannel channel;
  const std::string record("x\r\n\0\xff\t\x1a", 7);
  write_record(channel, record);
  EXPECT_EQ(host.stdout_bytes(), record.substr(1));
}

// Fails the write with the given index (0-based) and records the rest.
class FailOneWrite final : public ProcessPlatform {
 public:
  FailOneWrite(RecordingPlatform& inner, int index, WriteResult result)
      : inner_(inner), index_(index), result_(result) {
    set_platform(this);
  }
  WriteResult write_stdout(std::string_view bytes) override {
    return count_++ == index_ ? result_ : inner_.write_stdout(bytes);
  }
  void write_stderr(std::string_view bytes) override { inner_.write_stderr(bytes); }
  void flush_streams() override { inner_.flush_streams(); }
  [[noreturn]] void exit_process(int status) override { inner_.exit_process(status); }
  void enable_float_traps() override {}

 private:
  RecordingPlatform& inner_;
  int count_ = 0;
  int index_;
  WriteResult result_;
};

TEST(ConsoleChannelTest, RefusedPieceRaisesItsFaultAndDropsTheRestOfTheRecord) {
  struct Case {
    WriteResult result;
    int failing_write;
    std::string_view fault;  // empty: no fault
    Writes written;
  };
  const std::string long_record = " " + std::string(131, 'a') + std::string(132, 'b') + "cc";
  const Case cases[] = {
      {WriteResult::kNoSpace, 0, "F6422: WRITE(CON)\r\n- ", {}},
      {WriteResult::kAccessDenied, 0, "F6421: WRITE(CON)\r\n- ", {}},
      {WriteResult::kNoSpace, 1, "F6422: WRITE(CON)\r\n- ", {std::string(131, 'a')}},
      // Any other failure loses that piece only.
      {WriteResult::kOtherFailure, 1, "", {std::string(131, 'a'), "cc"}},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    FailOneWrite failing(host, c.failing_write, c.result);
    ConsoleChannel channel;
    channel.begin_record();
    if (c.fault.empty()) {
      channel.put(long_record);
      EXPECT_TRUE(channel.end_record());
      EXPECT_TRUE(channel.line_open());
      EXPECT_EQ(host.stderr_bytes(), "");
    } else {
      try {
        channel.put(long_record);
        channel.end_record();
        ADD_FAILURE() << "no fault for " << c.fault;
      } catch (const ProcessEnded& ended) {
        EXPECT_EQ(ended.status, 1);
      }
      EXPECT_NE(host.stderr_bytes().find(c.fault), std::string::npos) << host.stderr_bytes();
      EXPECT_FALSE(channel.line_open());
    }
    EXPECT_EQ(host.stdout_writes(), c.written);
  }
}

TEST(ConsoleChannelTest, FaultDuringTheExitStepLeavesTheChannelSound) {
  // While the exit step runs raise_fault reports and returns: the statement
  // is abandoned and the next record starts clean.
  RecordingPlatform host;
  ConsoleChannel channel;
  write_record(channel, " first");
  exit_step();
  FailOneWrite failing(host, 1, WriteResult::kNoSpace);
  channel.begin_record();
  channel.put(" " + std::string(140, 'x'));
  EXPECT_FALSE(channel.record_alive());
  channel.put("more");
  EXPECT_FALSE(channel.end_record());
  EXPECT_NE(host.stderr_bytes().find("F6422"), std::string::npos);

  write_record(channel, "0next");
  const Writes want = {"first", "\r\n", "\r\n\r\n", "next"};
  EXPECT_EQ(host.stdout_writes(), want);
  EXPECT_TRUE(channel.line_open());
}

}  // namespace
}  // namespace quorvane
