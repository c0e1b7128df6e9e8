// SMB requests in the forms a cluster accepts: personas with only the members that hold a
// value, and a single share asked again without the limit when a cluster refuses it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sim/core/Faults.h"
#include "tests/smb/SmbFixture.h"

namespace {

std::string Refusal(const std::string& code, const std::string& field) {
  return R"({"errors":[{"code":")" + code + R"(","field":")" + field + R"(","message":"Field: )" + field +
         R"( has error: A property was present that is not defined by the schema."},)"
         R"({"code":"AEC_BAD_REQUEST","message":"Input validation failed."}]})";
}

class SmbClusterForms : public SmbFixture {
 protected:
  SmbClusterForms() : SmbFixture("127.0.0.26") {}
};

TEST_F(SmbClusterForms, APersonaIsAnIdOrATypeWithANameNeverAnEmptyMember) {
  ASSERT_TRUE(session().CreateCIFSShare("docs", "/ifs/docs", "", ""));
  // {id, name, type} as the caller filled them in.
  const _IsilonSMBACLs acls{{{"read", "allow", {"", "Everyone", "wellknown"}},
                             {"full", "allow", {"SID:S-1-5-32-544", "", ""}},
                             {"change", "allow", {"", "Everyone", ""}},
                             {"read", "deny", {"SID:S-1-1-0", "Everyone", "wellknown"}}},
                            {{"UID:0", "", "user"}, {"", "root", "user"}}};
  server().requestLog().clear();
  ASSERT_TRUE(session().SetSMBACLs(acls, "docs", "")) << LastMessage();
  const auto puts = server().requestLog().find("PUT", "/platform/3/protocols/smb/shares/docs");
  ASSERT_EQ(puts.size(), 1u);
  const nlohmann::json body = nlohmann::json::parse(puts[0].body);
  std::vector<std::string> trustees;
  for (const auto& entry : body.at("permissions")) trustees.push_back(entry.at("trustee").dump());
  EXPECT_EQ(trustees, (std::vector<std::string>{R"({"name":"Everyone","type":"wellknown"})",
                                                R"({"id":"SID:S-1-5-32-544"})", R"({"name":"Everyone"})",
                                                R"({"id":"SID:S-1-1-0","name":"Everyone","type":"wellknown"})"}));
  // A type without a name says nothing on its own.
  EXPECT_EQ(body.at("run_as_root").dump(), R"([{"id":"UID:0"},{"name":"root","type":"user"}])");
}

TEST_F(SmbClusterForms, OnlyARefusalOfTheLimitByNameSendsTheShareAgainWithoutIt) {
  ASSERT_TRUE(session().CreateCIFSShare("docs", "/ifs/docs", "", ""));
  const struct {
    int status;
    std::string code, field;
    bool dropped;
  } rows[] = {
      {400, "AEC_BAD_REQUEST", "limit", true},
      {400, "AEC_BAD_REQUEST", "zone", false},  // declared: the refusal stands
      {400, "AEC_NOT_FOUND", "limit", false},
      {403, "AEC_BAD_REQUEST", "limit", false},
  };
  unsigned long long fallbacks = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code + " " + row.field + " " + std::to_string(row.status));
    server().faults().clear();
    isim::Fault fault = isim::Fault::replace("", row.status, Refusal(row.code, row.field));
    fault.regex = "shares/docs\\?limit=";
    fault.times = 0;
    server().faults().add(fault);
    server().requestLog().clear();
    std::string path;
    _IsilonShareInfo info;
    EXPECT_EQ(session().GetFSPathForShare("docs", path, info, ""), row.dropped) << LastMessage();
    std::vector<std::string> expected{"GET /platform/1/protocols/smb/shares/docs?limit=50"};
    if (row.dropped) {
      expected.push_back("GET /platform/1/protocols/smb/shares/docs");
      EXPECT_EQ(path, "/ifs/docs");
    } else {
      EXPECT_EQ(LastCode(), row.code);
    }
    EXPECT_EQ(Requests("/protocols/smb"), expected);
    fallbacks += row.dropped ? 1 : 0;
    EXPECT_EQ(session().GetRequestCounters().argumentFallbacks, fallbacks);
  }

  // The share listing by name, and with a zone that stays when the limit goes.
  ASSERT_TRUE(smb().addZone("z", "/ifs/z"));
  ASSERT_TRUE(session().CreateCIFSShare("zs", "/ifs/z/zs", "", "z"));
  server().faults().clear();
  isim::Fault fault = isim::Fault::replace("", 400, Refusal("AEC_BAD_REQUEST", "limit"));
  fault.regex = "shares/zs\\?limit=";
  server().faults().add(fault);
  server().requestLog().clear();
  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "zs", "", "z")) << LastMessage();
  ASSERT_EQ(shares.size(), 1u);
  EXPECT_EQ(shares[0].strPath, "/ifs/z/zs");
  EXPECT_EQ(Requests("/protocols/smb"),
            (std::vector<std::string>{"GET /platform/1/protocols/smb/shares/zs?limit=50&zone=z",
                                      "GET /platform/1/protocols/smb/shares/zs?zone=z"}));
}

// A simulator that refuses undeclared arguments itself: a share by name still comes back whole.
class SmbStrictArguments : public SmbFixture {
 protected:
  SmbStrictArguments() : SmbFixture("127.0.0.27") { simConfig().strictArgs = true; }
};

TEST_F(SmbStrictArguments, AShareByNamePassesAClusterThatRefusesTheLimit) {
  ASSERT_TRUE(session().CreateCIFSShare("docs", "/ifs/docs", "", ""));
  std::string path;
  _IsilonShareInfo info;
  ASSERT_TRUE(session().GetFSPathForShare("docs", path, info, "")) << LastMessage();
  EXPECT_EQ(path, "/ifs/docs");
  EXPECT_EQ(session().GetRequestCounters().argumentFallbacks, 1u);
  std::vector<_IsilonShareInfo> shares;
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "docs", "", "")) << LastMessage();
  ASSERT_EQ(shares.size(), 1u);
  EXPECT_EQ(shares[0].strName, "docs");
  EXPECT_EQ(session().GetRequestCounters().argumentFallbacks, 2u);
  // The whole listing declares its limit: nothing to drop.
  ASSERT_TRUE(session().GetCIFSSharesList(shares, "", "", "")) << LastMessage();
  EXPECT_EQ(session().GetRequestCounters().argumentFallbacks, 2u);
}

}  // namespace
