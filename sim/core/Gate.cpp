#include "sim/core/Gate.h"

#include <utility>

namespace isim {

namespace {

const char kPlatform[] = "/platform/";
const char kBadRequest[] = "AEC_BAD_REQUEST";

Response notFound(const Request& request) {
  return errorReply(404, "AEC_NOT_FOUND", "Path not found: " + request.path);
}

SchemaProblem problem(const std::string& field, SchemaProblem::Kind kind, const std::string& what) {
  return SchemaProblem{field, kind, "Field: " + field + " has error: " + what};
}

// A reply that hands out a resume token takes it back, even where the arguments leave it out (the
// change-list entries declare no arguments, yet page by `resume`).
bool handsOutResume(const nlohmann::json* output) {
  return output != nullptr && output->contains("properties") && (*output)["properties"].contains("resume");
}

void checkArguments(const Config& config, const Request& request, const nlohmann::json* args,
                    const nlohmann::json* output, std::vector<SchemaProblem>& out) {
  static const nlohmann::json kNone = nlohmann::json::object();
  static const nlohmann::json kToken = {{"type", "string"}};
  const nlohmann::json& properties = args != nullptr && args->contains("properties") ? (*args)["properties"] : kNone;
  if (request.hasParam("resume") && request.query.size() > 1)
    out.push_back(problem("resume", SchemaProblem::Kind::kUnknownMember,
                          "The resume argument cannot be combined with other query arguments."));
  for (const auto& arg : request.query) {
    const auto declared = properties.find(arg.first);
    if (declared == properties.end() && arg.first == "resume" && handsOutResume(output)) {
      for (auto& p : checkSchema(queryValue(arg.second, kToken), kToken, arg.first)) out.push_back(std::move(p));
      continue;
    }
    if (declared == properties.end()) {
      if (config.strictArgs)
        out.push_back(problem(arg.first, SchemaProblem::Kind::kUnknownMember,
                              "A query argument was present that is not defined by the schema."));
      continue;
    }
    for (auto& p : checkSchema(queryValue(arg.second, *declared), *declared, arg.first)) out.push_back(std::move(p));
  }
  for (const auto& p : properties.items())
    if (p.value().is_object() && p.value().value("required", false) && !request.hasParam(p.key()))
      out.push_back(problem(p.key(), SchemaProblem::Kind::kRequired, "A required query argument is missing."));
}

}  // namespace

Response validationReply(const std::vector<SchemaProblem>& problems) {
  nlohmann::json errors = nlohmann::json::array();
  for (const auto& p : problems) {
    nlohmann::json entry = {{"code", kBadRequest}};
    if (!p.field.empty()) entry["field"] = p.field;
    entry["message"] = p.message;
    errors.push_back(std::move(entry));
  }
  errors.push_back({{"code", kBadRequest}, {"message", "Input validation failed."}});
  return Response::json({{"errors", std::move(errors)}}, 400);
}

bool gateRequest(const Config& config, const Request& request, const ApiDescription::Resource*& resource,
                 Response& refusal) {
  resource = nullptr;
  const std::string& raw = request.rawPath;
  if (raw.compare(0, sizeof kPlatform - 1, kPlatform) != 0) return true;
  const size_t start = sizeof kPlatform - 1;
  size_t end = start;
  while (end < raw.size() && end - start < 4 && raw[end] >= '0' && raw[end] <= '9') ++end;
  if (end == start || end >= raw.size() || raw[end] != '/') {
    refusal = notFound(request);
    return false;
  }
  ApiDescription::Match match;
  switch (ApiDescription::builtIn().find(config.release, std::stoi(raw.substr(start, end - start)), raw.substr(end),
                                         match)) {
    case ApiDescription::Found::kNotServed: refusal = notFound(request); return false;
    case ApiDescription::Found::kUnknown: return true;
    case ApiDescription::Found::kServed: break;
  }
  resource = match.resource;
  if (resource == nullptr) return true;

  std::vector<SchemaProblem> problems;
  checkArguments(config, request, resource->part(request.method, "args"),
                 resource->part(request.method, "output_schema"), problems);
  const nlohmann::json* input = nullptr;
  if (request.method == "POST" || request.method == "PUT") input = resource->part(request.method, "input_schema");
  if (input != nullptr) {
    nlohmann::json body = nlohmann::json::object();
    if (!request.body.empty() && !request.jsonBody(body)) {
      problems.push_back(
          SchemaProblem{std::string(), SchemaProblem::Kind::kType, "The request body is not valid JSON."});
    } else {
      for (auto& p : checkSchema(body, *input)) problems.push_back(std::move(p));
    }
  }
  if (problems.empty()) return true;
  refusal = validationReply(problems);
  return false;
}

void ReplyProblems::check(const Request& request, const ApiDescription::Resource* resource, const Response& response) {
  if (resource == nullptr || response.status < 200 || response.status > 299) return;
  nlohmann::json value;
  if (!response.jsonValue(value)) return;
  const nlohmann::json* schema = resource->part(request.method, "output_schema");
  if (schema == nullptr) {
    add({request.method, request.path, std::string(),
         "The description has no reply body for " + request.method + " " + resource->name + "."});
    return;
  }
  for (const auto& p : checkSchema(value, *schema)) add({request.method, request.path, p.field, p.message});
}

void ReplyProblems::add(ReplyProblem problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A long run repeats the same drift; one entry per place is enough to tell it.
  if (entries_.size() >= 10000) return;
  if (!seen_.insert(problem.method + '\n' + problem.path + '\n' + problem.field + '\n' + problem.message).second)
    return;
  entries_.push_back(std::move(problem));
}

std::vector<ReplyProblem> ReplyProblems::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

void ReplyProblems::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  seen_.clear();
}

}  // namespace isim
