#include "frame/reply.h"

namespace talwen {

long CharacterCount(std::string_view utf8) {
  long n = 0;
  for (const char ch : utf8) {
    const auto b = static_cast<unsigned char>(ch);
    if ((b & 0xC0) != 0x80) n += b >= 0xF0 ? 2 : 1;  // a four-byte sequence is a surrogate pair
  }
  return n;
}

void OutputBuffer::append(std::string_view text) {
  const long n = CharacterCount(text);
  if (position_ - 1 + n > kCapacity) throw ReplyTooLong();
  text_.append(text);
  position_ += n;
}

void OutputBuffer::tag(std::string_view name, std::string_view value) {
  append("<");
  append(name);
  append(">");
  append(value);
  append("</");
  append(name);
  append(">");
}

void OutputBuffer::tag(std::string_view name, const Value& value) {
  if (value.kind() == Value::Kind::kText) return tag(name, std::string_view(value.as_string()));
  tag(name, std::string_view(value.to_text()));
}

std::string MakeTag(std::string_view name, std::string_view value) {
  std::string out;
  out.reserve(name.size() * 2 + value.size() + 5);
  out.append("<").append(name).append(">").append(value).append("</").append(name).append(">");
  return out;
}

std::string MakeTag(std::string_view name, const Value& value) {
  return MakeTag(name, value.to_text());
}

std::string QuoteText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.append("\"").append(text).append("\"");
  return out;
}

std::string StatusReply(std::string_view status, std::string_view message) {
  return MakeTag("sqlstatus", status) + MakeTag("sqlmsg", message);
}

Cutoff::Cutoff(std::string_view limit, std::string_view key) : key_(key) {
  active_ = limit.find_first_not_of(' ') != std::string_view::npos;
}

bool Cutoff::reached(OutputBuffer& out) const {
  if (!active_ || out.position() <= kThreshold) return false;
  out.append("<record>");
  out.tag(key_, "<Too many records>");
  out.append("</record>");
  return true;
}

}  // namespace talwen
