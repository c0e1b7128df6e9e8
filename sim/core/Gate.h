#pragma once
// The checks a cluster makes of each /platform request before serving it, as its API
// description has them (release and version, query arguments, body), and the simulator's own
// check of its replies against the same description.
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "sim/core/Config.h"
#include "sim/core/Description.h"
#include "sim/core/Http.h"

namespace isim {

// The resource of a /platform request; false, with the reply to send (404, 400), when the
// cluster would refuse it. `resource` is null for paths outside /platform and for served but
// undescribed resources.
bool gateRequest(const Config& config, const Request& request, const ApiDescription::Resource*& resource,
                 Response& refusal);

// The cluster's 400 for failed validation: one entry per problem, then "Input validation failed.".
Response validationReply(const std::vector<SchemaProblem>& problems);

struct ReplyProblem {
  std::string method;
  std::string path;
  std::string field;
  std::string message;
};

// Problems found in the simulator's own replies (Config::checkReplies).
class ReplyProblems {
 public:
  // Checks a reply to `request` of `resource` and keeps what does not conform.
  void check(const Request& request, const ApiDescription::Resource* resource, const Response& response);
  void add(ReplyProblem problem);
  std::vector<ReplyProblem> entries() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<ReplyProblem> entries_;
  std::unordered_set<std::string> seen_;
};

}  // namespace isim
