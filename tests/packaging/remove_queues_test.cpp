// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-remove-queues against a private scheduler: every queue whose device
// URI uses our backend goes, whatever its name; other queues stay; a
// scheduler that is not running is not an error.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "PrivateCupsd.h"

using qv46test::PrivateCupsd;

namespace {

const struct {
  const char* queue;
  const char* uri;
  bool removed;
} kQueues[] = {
    {"VALDREN-QV-46", "valdren-zelbackend://VALDREN/QV-46?serial=RQ1", true},
    {"VALDREN-QV-46-2", "valdren-zelbackend://VALDREN/QV-46?serial=RQ2", true},
    {"Photo-Desk", "valdren-zelbackend://VALDREN/QV-46?serial=RQ3", true},
    {"VALDREN-QV-46-file", "file:///dev/null", false},
    {"Office", "socket://127.0.0.1:9", false},
};

std::set<std::string> QueueNames(const PrivateCupsd& cupsd) {
  std::string out;
  cupsd.Run({"lpstat", "-e"}, &out);
  std::set<std::string> names;
  std::istringstream lines(out);
  for (std::string name; std::getline(lines, name);) {
    for (const auto& q : kQueues) {
      if (name == q.queue) names.insert(name);  // not printers found on the network
    }
  }
  return names;
}

TEST(RemoveQueues, RemovesOnlyQueuesOnOurBackend) {
  PrivateCupsd::Options opt;
  opt.extraBackends = {QV46_BACKEND};
  PrivateCupsd cupsd(opt);
  std::string error;
  ASSERT_TRUE(cupsd.Start(&error)) << error;

  std::string out;
  std::set<std::string> kept;
  for (const auto& q : kQueues) {
    ASSERT_EQ(
        cupsd.Run({"lpadmin", "-p", q.queue, "-E", "-v", q.uri, "-m", "VALDREN_QV-46.ppd"}, &out),
        0)
        << q.queue << ": " << out << cupsd.ErrorLog();
    if (!q.removed) kept.insert(q.queue);
  }

  ASSERT_EQ(cupsd.Run({QV46_REMOVE_QUEUES}, &out), 0) << out;
  EXPECT_EQ(QueueNames(cupsd), kept) << out;
  for (const auto& q : kQueues) {
    const bool reported =
        out.find(std::string("Removed print queue ") + q.queue + "\n") != std::string::npos;
    EXPECT_EQ(reported, q.removed) << q.queue << "\n" << out;
  }

  // Nothing left to remove: a second run changes nothing and still succeeds.
  EXPECT_EQ(cupsd.Run({QV46_REMOVE_QUEUES}, &out), 0) << out;
  EXPECT_EQ(out, "");
  EXPECT_EQ(QueueNames(cupsd), kept);

  // A scheduler that is down leaves nothing to do now.
  ASSERT_TRUE(cupsd.Stop());
  EXPECT_EQ(cupsd.Run({QV46_REMOVE_QUEUES}, &out), 0) << out;
  EXPECT_EQ(out, "");
}

}  // namespace
