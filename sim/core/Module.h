#pragma once
// A subsystem of the simulated cluster (SMB shares, NFS exports, snapshots, ...).
//
// A module lives in its own file or folder under sim/ and registers itself:
//
//   class SnapshotModule : public isim::Module {
//    public:
//     const char* name() const override { return "snapshots"; }
//     void registerRoutes(isim::Router& router) override { router.get("/platform/1/snapshot/snapshots", ...); }
//   };
//   ISIM_REGISTER_MODULE(SnapshotModule)
//
// Every isim::Server makes its own instance of every registered module, so two servers in one
// process never share state.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace isim {

class Router;
class Server;

class Module {
 public:
  virtual ~Module();
  // Short unique name ("smb", "nfs", "namespace", ...); modules start in name order.
  virtual const char* name() const = 0;
  // Called once by Server::start(), before the server listens.
  virtual void registerRoutes(Router& router) = 0;
  // Options of the isilon-sim program (bound to the module's own fields).
  virtual void addOptions(CLI::App& app) { (void)app; }
  // After every module registered its routes; other modules can be looked up here.
  virtual void onStart() {}
  // Fill in sample data; called before onStart() when the program runs with --demo.
  virtual void seedDemo() {}

  // The server this instance belongs to (valid from construction by the server on).
  Server& server() const { return *server_; }

 private:
  friend class Server;
  Server* server_ = nullptr;
};

using ModuleFactory = std::function<std::unique_ptr<Module>()>;

class ModuleRegistry {
 public:
  // Returns true so that it can initialise a namespace-scope constant.
  static bool add(const std::string& typeName, ModuleFactory factory);
  struct Entry {
    std::string typeName;
    ModuleFactory factory;
  };
  static const std::vector<Entry>& entries();
};

}  // namespace isim

#define ISIM_CONCAT_INNER(a, b) a##b
#define ISIM_CONCAT(a, b) ISIM_CONCAT_INNER(a, b)
// Registers a module type (default-constructible) with every server created afterwards.
#define ISIM_REGISTER_MODULE(Type)                                                                       \
  namespace {                                                                                            \
  const bool ISIM_CONCAT(isim_module_registered_, __COUNTER__) = ::isim::ModuleRegistry::add(#Type, [] { \
    return std::unique_ptr<::isim::Module>(new Type());                                                  \
  });                                                                                                    \
  }
