#pragma once
// The cluster's API description as the simulator holds it (sim/api/cluster-api.json, built in),
// and a check of JSON values against its draft-3 schemas.
//
// The schemas use a small part of draft 3: "type" (a name, "null", or a list of alternatives that
// may be schemas themselves), "required" on a member, "properties", "additionalProperties"
// (false, put on every listed object when the description was derived), "items", "enum",
// "minimum"/"maximum", "minLength"/"maxLength", "minItems". That part is checked here by hand,
// so that each problem names its member the way the cluster's 400 replies do.
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace isim {

struct SchemaProblem {
  enum class Kind { kUnknownMember, kType, kEnum, kRequired, kMinimum, kMaximum, kLength, kItems };
  std::string field;  // "name", "persona.type", "permissions[0].trustee"; empty: the value itself
  Kind kind = Kind::kType;
  std::string message;  // "Field: NAME has error: ..." (no prefix when field is empty)
};

// Problems of `value` against `schema`; empty when it conforms. `field` names the value.
std::vector<SchemaProblem> checkSchema(const nlohmann::json& value, const nlohmann::json& schema,
                                       const std::string& field = std::string());

// Drops from `value` every member `schema` does not declare, at any depth: the modules answer
// as 8.0.1.2 does, and an older release's replies hold only what that release describes.
void pruneToSchema(nlohmann::json& value, const nlohmann::json& schema);

// A query argument's text as the value its declared schema wants ("true" -> true, "12" -> 12);
// the text itself when it reads as nothing the schema allows (the check then tells why).
nlohmann::json queryValue(const std::string& text, const nlohmann::json& schema);

class ApiDescription {
 public:
  struct Resource {
    std::string name;            // "/job/jobs/<JID>"
    int version = 0;             // newest version the release has
    const nlohmann::json* data;  // {"GET_args": ..., "POST_input_schema": ..., ...}
    // The schema under "METHOD_suffix" (suffix "args", "input_schema", "output_schema"), or null.
    const nlohmann::json* part(const std::string& method, const char* suffix) const;
  };
  struct Match {
    std::string name;              // the resource template the path maps to
    int servedVersion = 0;         // newest version <= the asked one; 0: not served
    const Resource* resource = 0;  // described resource, or null (served but not described)
  };

  // The built-in description.
  static const ApiDescription& builtIn();
  explicit ApiDescription(const std::string& text);

  bool hasRelease(const std::string& release) const { return releases_.count(release) > 0; }
  std::vector<std::string> releases() const;
  int highestApiVersion(const std::string& release) const;
  // Maps `rest` (the raw path after "/platform/N", e.g. "/job/jobs/12") asked at version
  // `version` to the release's resource. kUnknown: no release describes such a resource (the
  // description covers only part of the interface), so nothing can be said of it.
  enum class Found { kServed, kNotServed, kUnknown };
  Found find(const std::string& release, int version, const std::string& rest, Match& out) const;

 private:
  struct Template {
    std::string name;
    std::vector<std::string> segments;  // literal, "<X>" (one segment) or "<X+>" (one or more)
    int literals = 0;
    std::vector<int> versions;  // served versions, ascending
  };
  struct Release {
    int highest = 0;
    std::vector<Template> templates;
    std::map<std::string, Resource> resources;
  };
  nlohmann::json data_;
  std::map<std::string, Release> releases_;
};

}  // namespace isim
