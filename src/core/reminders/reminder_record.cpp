#include "core/reminders/reminder_record.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "core/reminders/reminder_time.h"

namespace zorbek {

bool IsKnownReminderMode(std::int32_t mode) {
  return (mode >= reminder_mode::kOnce && mode <= reminder_mode::kRange) ||
         mode == reminder_mode::kHalfHourly || mode == reminder_mode::kHourly;
}

namespace {
std::int32_t IntAttribute(XmlNode node, const char* name) {
  if (!IsElement(node)) return 0;
  return ParseDecimal32(Attribute(node, name));
}

SystemTime TimeAttributes(XmlNode node, const char* low, const char* high) {
  return FromStoredHalves(IntAttribute(node, low), IntAttribute(node, high));
}

void SetHalves(XmlNode element, const char* low, const char* high, const SystemTime& t) {
  const FileTimeHalves h = StoredHalves(t);
  SetAttributeInt(element, low, h.low);
  SetAttributeInt(element, high, h.high);
}
}  // namespace

ReminderRecord ReadReminder(XmlNode node) {
  ReminderRecord r;
  r.id = Name(node);
  r.mode = IntAttribute(node, "mode");
  r.start = TimeAttributes(node, "lowtime", "hightime");
  r.stop = TimeAttributes(node, "stoplowtime", "stophightime");
  r.lastUpdate = TimeAttributes(node, "lulowtime", "luhightime");
  r.valid = IntAttribute(node, "valid");
  r.content = Text(node);
  return r;
}

std::vector<ReminderRecord> ReadReminders(XmlNode schedule) {
  std::vector<ReminderRecord> out;
  if (!schedule) return out;
  for (XmlNode child = FirstChild(schedule); child; child = NextSibling(child))
    out.push_back(ReadReminder(child));
  return out;
}

void WriteReminderTimes(XmlNode element, const SystemTime& start, const SystemTime& stop,
                        std::int32_t mode, const SystemTime* lastUpdate, std::int32_t valid) {
  SetAttributeInt(element, "mode", mode);
  SetHalves(element, "lowtime", "hightime", start);
  SetHalves(element, "stoplowtime", "stophightime", stop);
  if (lastUpdate) SetHalves(element, "lulowtime", "luhightime", *lastUpdate);
  SetAttributeInt(element, "valid", valid);
}

void WriteReminderHandled(XmlNode element, const SystemTime& moment, std::int32_t valid) {
  SetHalves(element, "lulowtime", "luhightime", moment);
  SetAttributeInt(element, "valid", valid);
}

std::string ReminderIdFromGuid(const Guid& g) {
  auto le32 = [&](int at) {
    return static_cast<std::uint32_t>(g.data4[at]) |
           static_cast<std::uint32_t>(g.data4[at + 1]) << 8 |
           static_cast<std::uint32_t>(g.data4[at + 2]) << 16 |
           static_cast<std::uint32_t>(g.data4[at + 3]) << 24;
  };
  char buf[40];
  std::snprintf(buf, sizeof buf, "s%08x%04x%04x%08x%08x", g.data1, g.data2, g.data3, le32(0),
                le32(4));
  return buf;
}

std::string ReminderIdFromParts(std::uint64_t fileTimeNow, std::uint32_t ticks,
                                std::uint32_t random) {
  const auto high = static_cast<std::uint32_t>(fileTimeNow >> 32);
  const auto low = static_cast<std::uint32_t>(fileTimeNow);
  char buf[40];
  std::snprintf(buf, sizeof buf, "s%08x%04x%04x%08x%08x", high, low >> 16, low & 0xFFFFu, ticks,
                random);
  return buf;
}

std::optional<Guid> NewGuid() {
  try {
    std::random_device device;
    std::array<std::uint32_t, 4> words{};
    for (auto& w : words) w = device();
    Guid g;
    g.data1 = words[0];
    g.data2 = static_cast<std::uint16_t>(words[1] >> 16);
    g.data3 = static_cast<std::uint16_t>((words[1] & 0x0FFFu) | 0x4000u);  // version 4
    for (int i = 0; i < 4; ++i) {
      g.data4[i] = static_cast<std::uint8_t>(words[2] >> (8 * i));
      g.data4[4 + i] = static_cast<std::uint8_t>(words[3] >> (8 * i));
    }
    g.data4[0] = static_cast<std::uint8_t>((g.data4[0] & 0x3Fu) | 0x80u);  // RFC 4122 variant
    return g;
  } catch (...) {
    return std::nullopt;
  }
}

std::string NewReminderId() {
  if (auto guid = NewGuid()) return ReminderIdFromGuid(*guid);
  const std::uint64_t fileTime = ToFileTime(clock().LocalNow()).value_or(0);
  const auto ticks = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now().time_since_epoch())
          .count());
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  return ReminderIdFromParts(fileTime, ticks, static_cast<std::uint32_t>(std::rand()));
}

}  // namespace zorbek
