#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "isilon/ManageIsilon.h"
#include "src/config/Config.h"
#include "tests/support/Registry.h"

namespace {

TEST(Config, TraceSwitchIsYesOnlyForValuesStartingWithY) {
  for (const char* yes : {"Yes", "y", "yellow", "Y"}) {
    ScopedRegistry registry(std::string("[NAS]\nsTraceCurl = ") + yes + "\n");
    EXPECT_TRUE(GetRegYes("sTraceCurl")) << yes;
  }
  for (const char* no : {"no", "1", "true", "", " n"}) {
    ScopedRegistry registry(std::string("[NAS]\nsTraceCurl = ") + no + "\n");
    EXPECT_FALSE(GetRegYes("sTraceCurl")) << no;
  }
  ScopedRegistry none("");
  EXPECT_FALSE(GetRegYes("sTraceCurl"));
}

TEST(Config, WaitLimitsFallBackToTheirDefaults) {
  {
    ScopedRegistry registry("[~Tarvex]\nIsilonChangeListGenerationWaitTime = -5\n");
    EXPECT_EQ(isilon::GetTarvexInt("IsilonChangeListGenerationWaitTime", 900), 900);
  }
  {
    ScopedRegistry registry("[~Tarvex]\nIsilonChangeListGenerationWaitTime = 30\n");
    EXPECT_EQ(isilon::GetTarvexInt("IsilonChangeListGenerationWaitTime", 900), 30);
  }
  ScopedRegistry registry("");
  EXPECT_EQ(isilon::GetTarvexInt("nIsilonSyncIQJobStatusRetryCount", 20), 20);
}

TEST(Config, InstanceSectionsAreSeparate) {
  ScopedRegistry registry("[~Tarvex]\nnKey = 1\n[~Tarvex/backup1]\nnKey = 2\nsName = agent\n");
  int value = 0;
  EXPECT_TRUE(MIGetRegInt(nullptr, "nKey", &value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(MIGetRegInt("backup1", "nKey", &value));
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(MIGetRegInt("other", "nKey", &value));

  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_TRUE(MIGetRegStr("backup1", "sName", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "agent");
  EXPECT_FALSE(MIGetRegStr(nullptr, "sName", buffer, sizeof buffer));
  char tiny[3];
  EXPECT_FALSE(MIGetRegStr("backup1", "sName", tiny, sizeof tiny));
}

TEST(Config, ValuesAreReadAfreshOnEveryLookup) {
  ScopedRegistry registry("[NAS]\nsTraceCurl = no\n");
  EXPECT_FALSE(GetRegYes("sTraceCurl"));
  registry.Rewrite("[NAS]\nsTraceCurl = yes\n");
  EXPECT_TRUE(GetRegYes("sTraceCurl"));
}

}  // namespace
