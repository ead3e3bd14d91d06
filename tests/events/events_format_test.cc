// The events' formats made the short way give the bytes of the long way: an
// event enriched with the general properties of now is the event enriched
// with current(), and an upload body's text is the text of the body value.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>
#include <string>

#include "core/QBConfigurations.h"
#include "events/QBEventsFormat.h"
#include "events_test_support.h"
#include "platform/test_environment.h"

namespace events_format_test {

using platform::Json;

struct Setting {
  const char* name;
  void (*apply)(QBConfigurations&);
};

const Setting kSettings[] = {
    {"Bare", [](QBConfigurations&) {}},
    {"UserAndKey",
     [](QBConfigurations& c) {
       c.setAppKey("key-1");
       c.setUserId(std::string("user \"q\" \xc3\xa9"));
     }},
    {"EmptyUser", [](QBConfigurations& c) { c.setUserId(std::string()); }},
    {"Plugin",
     [](QBConfigurations& c) {
       c.setPlugin(std::string("Unity"));
       c.setPluginVersion(std::string("2.1"));
     }},
    {"PluginWithoutVersion", [](QBConfigurations& c) { c.setPlugin(std::string("Flutter")); }},
};

const Json kEventData[] = {
    Json::object(),
    Json{{"provider", "Mediation"}, {"duration", 12}},
    // The event's own data over general properties; never over its id or time.
    Json{{"connectionType", "mine"}, {"eventId", 5}, {"timestamp", "x"}, {"appKey", nullptr}, {"os", {1, 2}}},
    Json{{"reason", std::string("bad \xff byte")}, {"nested", {{"a", {{"b", 1.5}}}}}},
};

class EventsFormatTest : public ::testing::TestWithParam<Setting> {
 protected:
  platform::TestEnvironment env;
  qbtest::EventsIsolation isolation;
};

TEST_P(EventsFormatTest, EnrichedWithNowIsEnrichedWithCurrent) {
  GetParam().apply(QBConfigurations::getConfigurations());
  QBEventsGeneralProperties general;
  std::deque<Json> enriched;
  int id = 1000;
  for (const Json& data : kEventData) {
    const QBEventData event(id++, data);
    const Json direct = general.enrich(event);
    const Json twoStep = QBEventsGeneralProperties::enrich(event, general.current());
    // Same keys in the same order, same values: the same text.
    EXPECT_EQ(platform::dumpJson(direct), platform::dumpJson(twoStep));
    // Twice: the second time from the general properties' kept text.
    EXPECT_EQ(general.enrichedText(event), platform::dumpJson(direct)) << data;
    EXPECT_EQ(general.enrichedText(event), platform::dumpJson(direct)) << data;
    enriched.push_back(direct);
  }
  std::deque<QBKeptEvent> kept;
  for (const Json& event : enriched) kept.push_back(QBEventsFormat::keptEvent(event));

  // Upload bodies of every slice, in both formats.
  for (const bool marrowjet : {false, true}) {
    for (size_t first = 0; first <= enriched.size(); ++first) {
      for (size_t count : {size_t{0}, size_t{1}, size_t{2}, enriched.size() + 3}) {
        for (int64_t time : {int64_t{0}, int64_t{1'760'000'000'123}, int64_t{-7}}) {
          EXPECT_EQ(QBEventsFormat::uploadBodyText(marrowjet, kept, first, count, time),
                    platform::dumpJson(QBEventsFormat::uploadBody(marrowjet, enriched, first, count, time)))
              << marrowjet << " " << first << " " << count;
        }
      }
    }
  }
}

// The general properties' text is kept from one event to the next; an event
// recorded after one of them changed carries the new value.
TEST_P(EventsFormatTest, EnrichedTextFollowsChangesOfTheGeneralProperties) {
  auto& configurations = QBConfigurations::getConfigurations();
  GetParam().apply(configurations);
  QBEventsGeneralProperties general;
  const QBEventData event(1003, Json{{"provider", "Mediation"}});
  const std::vector<std::function<void()>> changes = {
      [&] { configurations.setUserId(std::string("user-2")); },
      [&] { configurations.setAppKey("key-2"); },
      [&] { configurations.setPlugin(std::string("Cocos")); },
      [&] { configurations.setPluginVersion(std::string("9")); },
      [&] { configurations.setUserId(std::string()); },
  };
  EXPECT_EQ(general.enrichedText(event), platform::dumpJson(general.enrich(event)));
  for (const auto& change : changes) {
    change();
    const std::string text = general.enrichedText(event);
    EXPECT_EQ(text, platform::dumpJson(general.enrich(event)));
    EXPECT_EQ(text, platform::dumpJson(QBEventsGeneralProperties::enrich(event, general.current())));
  }
}

INSTANTIATE_TEST_SUITE_P(Configurations, EventsFormatTest, ::testing::ValuesIn(kSettings),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace events_format_test
