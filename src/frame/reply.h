// Reply: the tagged text a handler answers with, and the helpers that write it.
//
// A reply is a flat run of elements "<name>value</name>" with nothing between them and no
// escaping: a value may itself hold tag-like text (the "<Too many records>" sentinel relies on
// it). The OutputBuffer counts its write position in characters from 1, as the pages' cut-off
// rules do, and refuses to grow past kCapacity characters: an append that would pass the bound
// throws ReplyTooLong, which ends the handler with the empty reply.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "db/value.h"

namespace talwen {

class ReplyTooLong : public std::length_error {
 public:
  ReplyTooLong() : std::length_error("reply exceeds 1,000,000 characters") {}
};

class OutputBuffer {
 public:
  static constexpr long kCapacity = 1'000'000;

  // Append text at the write position and move the position past it.
  void append(std::string_view text);
  // Append "<name>value</name>".
  void tag(std::string_view name, std::string_view value);
  void tag(std::string_view name, const Value& value);

  // Where the next character goes, counting characters from 1.
  long position() const { return position_; }
  const std::string& text() const { return text_; }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
  long position_ = 1;
};

// "<name>value</name>", nothing escaped or trimmed.
std::string MakeTag(std::string_view name, std::string_view value);
std::string MakeTag(std::string_view name, const Value& value);

// The value between two double quotes (inner quotes are not doubled).
std::string QuoteText(std::string_view text);

// The status reply "<sqlstatus>s</sqlstatus><sqlmsg>m</sqlmsg>".
std::string StatusReply(std::string_view status, std::string_view message);

// The number of characters of UTF-8 text as the position counts them (UTF-16 code units).
long CharacterCount(std::string_view utf8);

// The listing cut-off: with a non-blank limit, a listing stops after the record that takes
// the write position above kThreshold and ends with a sentinel record naming its key column:
// "<record><key><Too many records></key></record>".
class Cutoff {
 public:
  static constexpr long kThreshold = 16383;

  Cutoff() = default;  // no cut-off
  // Active when limit, trimmed of blanks, is not "".
  Cutoff(std::string_view limit, std::string_view key);

  bool active() const { return active_; }
  // After a complete record: when the position has passed the threshold, write the sentinel
  // record and return true (the listing stops).
  bool reached(OutputBuffer& out) const;

 private:
  bool active_ = false;
  std::string key_;  // owned: the caller's text may be a temporary
};

}  // namespace talwen
