#pragma once
// The cluster's namespace interface (/namespace + path) over the simulated /ifs tree:
//   GET  /namespace/DIR?detail=...&sort=name&limit=N[&resume=T]  one page of a directory
//   GET  /namespace/PATH?metadata                                 attributes in the "attrs" form
//   PUT  /namespace/TARGET?overwrite=BOOL + x-isi-ifs-copy-source  copy a file or a whole tree
//   PUT  /namespace/PATH + x-isi-ifs-target-type                   create a directory or a file
//   DELETE /namespace/PATH[?recursive=true]                        remove an entry
//   POST /_sim/namespace/files {"paths": [PATH, ...]}              (admin) adds files and their parents
// The tree can be filled from a seed file (--ns-seed) or generated (--ns-generate), and other
// modules (snapshots) reach it through tree().
#include <string>

#include "sim/core/Http.h"
#include "sim/core/Module.h"
#include "sim/namespace/Tree.h"

namespace isim {

class NamespaceModule : public Module {
 public:
  const char* name() const override { return "namespace"; }
  void registerRoutes(Router& router) override;
  void addOptions(CLI::App& app) override;
  void seedDemo() override;

  ns::Tree& tree() { return tree_; }
  const ns::Tree& tree() const { return tree_; }

  // "DIR:FILES[:DIRS]" -> FILES files spread over DIRS new directories under DIR.
  static bool ParseGenerateSpec(const std::string& spec, std::string& dir, size_t& files, size_t& dirs,
                                std::string& error);

 private:
  Response get(const Request& request) const;
  Response list(const Request& request, const std::string& dir) const;
  Response metadata(const std::string& path) const;
  Response put(const Request& request);
  Response copy(const Request& request, const std::string& target);
  Response remove(const Request& request);
  Response addFiles(const Request& request);

  ns::Tree tree_;
};

}  // namespace isim
