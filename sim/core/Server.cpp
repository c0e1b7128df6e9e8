#include "sim/core/Server.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <openssl/pem.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>

#include "sim/core/ServerImpl.h"

namespace isim {

namespace {
struct X509Free {
  void operator()(X509* p) const { X509_free(p); }
};
struct KeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct BioFree {
  void operator()(BIO* p) const { BIO_free_all(p); }
};

std::unique_ptr<BIO, BioFree> memoryBio(const std::string& text) {
  return std::unique_ptr<BIO, BioFree>(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

void fail(std::string* error, const std::string& text) {
  if (error) *error = text;
}
}  // namespace

Server::Server(Config config)
    : config_(std::move(config)),
      sessions_(clock_, config_.idleTimeout, config_.absoluteTimeout),
      requestLog_(config_.requestLogCapacity),
      impl_(new Impl(*this)) {
  for (const auto& entry : ModuleRegistry::entries()) {
    std::unique_ptr<Module> m = entry.factory();
    m->server_ = this;
    modules_.push_back(std::move(m));
  }
  std::stable_sort(modules_.begin(), modules_.end(),
                   [](const std::unique_ptr<Module>& a, const std::unique_ptr<Module>& b) {
                     return std::string(a->name()) < std::string(b->name());
                   });
}

Server::~Server() { stop(); }

void Server::addOptions(CLI::App& app) {
  for (auto& m : modules_) m->addOptions(app);
}

Module* Server::module(const std::string& name) const {
  for (const auto& m : modules_)
    if (name == m->name()) return m.get();
  return nullptr;
}

bool consecutiveAddresses(const std::string& first, size_t count, std::vector<std::string>& out, std::string& error) {
  in_addr base{};
  if (inet_pton(AF_INET, first.c_str(), &base) != 1) {
    error = "consecutive node addresses need an IPv4 address to start from, not " + first;
    return false;
  }
  const uint32_t host = ntohl(base.s_addr);
  if ((host & 0xFF) + count > 256) {
    error = "the node addresses from " + first + " would pass .255";
    return false;
  }
  out.clear();
  for (size_t i = 0; i < count; ++i) {
    in_addr a{};
    a.s_addr = htonl(host + static_cast<uint32_t>(i));
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &a, text, sizeof text);
    out.push_back(text);
  }
  return true;
}

bool Server::start(std::string* error) {
  std::vector<std::string> addresses = config_.addresses();
  if (!running()) {
    // A full start: settings, certificate and the node list are taken from the configuration.
    impl_->startControl();
    // A client that goes away mid-reply must not kill the process: TLS writes use write(2).
    signal(SIGPIPE, SIG_IGN);
    sessions_.setTimeouts(config_.idleTimeout, config_.absoluteTimeout);
    requestLog_.setCapacity(config_.requestLogCapacity);
    randomFaults_.configure(config_.faultRate, config_.faultSeed);

    std::string reason;
    CertificatePair pair;
    if (!config_.certFile.empty() || !config_.keyFile.empty()) {
      if (config_.certFile.empty() || config_.keyFile.empty()) {
        fail(error, "a certificate needs both a certificate file and a key file");
        return false;
      }
      if (!loadCertificatePair(config_.certFile, config_.keyFile, pair, reason)) {
        fail(error, reason);
        return false;
      }
    } else if (!makeSelfSigned(addresses, pair, reason)) {
      fail(error, reason);
      return false;
    }
    impl_->certificate = pair;

    if (!impl_->modulesStarted) {
      for (auto& m : modules_) m->registerRoutes(impl_->router);
      if (config_.demo)
        for (auto& m : modules_) m->seedDemo();
      for (auto& m : modules_) m->onStart();
      impl_->modulesStarted = true;
    }
    impl_->nodes.clear();
    for (const auto& a : addresses) impl_->nodes.emplace_back(new Impl::Node(a));
    impl_->boundPort = 0;
  }
  for (size_t i = 0; i < impl_->nodes.size(); ++i) {
    if (impl_->startNode(i, error)) continue;
    stop();
    return false;
  }
  return true;
}

bool Server::Impl::startNode(size_t index, std::string* error) {
  Node& node = *nodes[index];
  std::lock_guard<std::mutex> guard(node.lifecycle);
  if (node.http) return true;
  std::unique_ptr<X509, X509Free> cert;
  std::unique_ptr<EVP_PKEY, KeyFree> key;
  {
    auto cb = memoryBio(certificate.certificatePem);
    auto kb = memoryBio(certificate.privateKeyPem);
    cert.reset(PEM_read_bio_X509(cb.get(), nullptr, nullptr, nullptr));
    key.reset(PEM_read_bio_PrivateKey(kb.get(), nullptr, nullptr, nullptr));
  }
  if (!cert || !key) {
    fail(error, "cannot read the certificate or key");
    return false;
  }
  // The server takes its own references to the certificate and key.
  auto http = std::make_unique<httplib::SSLServer>(cert.get(), key.get());
  if (!http->is_valid()) {
    fail(error, "cannot set up TLS");
    return false;
  }
  const Config& config = server.config();
  // A worker serves one keep-alive connection at a time; with latency, clients run many
  // connections at once (a parallel tree walk up to 64), so there is a worker for each.
  const size_t threads = std::max<size_t>(config.threads, config.latencyMs > 0 ? 72 : 4);
  http->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // Headers and body go out in separate writes; without this the body waits for the
  // client's delayed acknowledgement (about 40 ms a reply on Linux).
  http->set_tcp_nodelay(true);
  // No SO_REUSEPORT (the server library's default): a second simulator on the same address
  // must fail to bind, not silently take half of the first one's connections.
  // The server library listens with a backlog of 5: a walk's sessions logging in at once
  // overflow it and wait for the SYN to be sent again (a second). The socket is taken here
  // and listened on again, with the system's backlog, once bound.
  auto listening = std::make_shared<socket_t>(INVALID_SOCKET);
  http->set_socket_options([listening](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const void*>(&yes), sizeof(yes));
    *listening = sock;
  });
  http->set_keep_alive_max_count(config.keepAliveMaxCount);
  http->set_keep_alive_timeout(std::max(config.keepAliveTimeout, 1));
  http->set_read_timeout(30, 0);
  http->set_write_timeout(30, 0);
  http->set_payload_max_length(config.maxBodyBytes);
  // The server library calls its logger once a reply has been written.
  http->set_logger([](const httplib::Request&, const httplib::Response&) { replySent(); });
  Node* self = &node;
  auto handler = [this, self, index](const httplib::Request& in, httplib::Response& out) {
    handle(*self, index, in, out);
  };
  // [\s\S] rather than '.', which would not match a decoded line break.
  const std::string any = "[\\s\\S]*";
  http->Get(any, handler);
  http->Post(any, handler);
  http->Put(any, handler);
  http->Delete(any, handler);
  http->Patch(any, handler);
  http->Options(any, handler);

  // Every node listens on the same port: the first bound one sets it when any port will do.
  int port = boundPort ? boundPort.load() : config.port;
  bool bound;
  if (port == 0) {
    port = http->bind_to_any_port(node.address);
    bound = port > 0;
  } else {
    bound = http->bind_to_port(node.address, port);
  }
  if (!bound || (*listening != INVALID_SOCKET && ::listen(*listening, SOMAXCONN) != 0)) {
    fail(error, "cannot listen on " + node.address + ":" + std::to_string(port));
    return false;
  }
  boundPort = port;
  {
    std::lock_guard<std::mutex> lock(node.stopMutex);
    node.stopping = false;
  }
  httplib::SSLServer* raw = http.get();
  node.http = std::move(http);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  node.thread = std::thread([raw, finished] {
    raw->listen_after_bind();
    *finished = true;
  });
  // The socket already listens; wait until the accept loop runs so that a stop can end it.
  while (!raw->is_running() && !*finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (*finished) {
    node.thread.join();
    node.http.reset();
    fail(error, "the server on " + node.address + " stopped at once");
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(node.stopMutex);
    node.tlsContext = node.http->ssl_context();
  }
  node.serving = true;
  return true;
}

void Server::Impl::stopNode(size_t index) {
  Node& node = *nodes[index];
  std::lock_guard<std::mutex> guard(node.lifecycle);
  if (!node.http) return;
  node.serving = false;
  {
    std::lock_guard<std::mutex> lock(node.stopMutex);
    node.stopping = true;
    node.tlsContext = nullptr;
  }
  node.stopCv.notify_all();
  node.placeFreed.notify_all();
  node.http->stop();
  closeConnections(node);
  if (node.thread.joinable()) node.thread.join();
  node.http.reset();
  // The node's workers are gone: hand their freed pages back (a long run restarts nodes often).
  malloc_trim(0);
}

void Server::stop() {
  if (!impl_) return;
  impl_->stopControl();
  for (size_t i = 0; i < impl_->nodes.size(); ++i) impl_->stopNode(i);
}

bool Server::running() const {
  if (!impl_) return false;
  for (const auto& node : impl_->nodes)
    if (node->serving) return true;
  return false;
}

const std::string& Server::address() const {
  return config_.nodeAddresses.empty() ? config_.address : config_.nodeAddresses.front();
}

int Server::port() const { return impl_->boundPort ? impl_->boundPort.load() : config_.port; }

std::string Server::baseUrl() const { return nodeUrl(0); }

size_t Server::nodeCount() const { return impl_->nodes.empty() ? config_.addresses().size() : impl_->nodes.size(); }

std::string Server::nodeAddress(size_t i) const {
  if (!impl_->nodes.empty()) return i < impl_->nodes.size() ? impl_->nodes[i]->address : std::string();
  const std::vector<std::string> addresses = config_.addresses();
  return i < addresses.size() ? addresses[i] : std::string();
}

std::string Server::nodeUrl(size_t i) const {
  const std::string a = nodeAddress(i);
  std::string host = a.find(':') != std::string::npos ? "[" + a + "]" : a;
  return "https://" + host + ":" + std::to_string(port());
}

bool Server::nodeRunning(size_t i) const { return i < impl_->nodes.size() && impl_->nodes[i]->serving; }

size_t Server::nodePeakInFlight(size_t i) const {
  if (i >= impl_->nodes.size()) return 0;
  Impl::Node& node = *impl_->nodes[i];
  std::lock_guard<std::mutex> lock(node.stopMutex);
  return node.peakInFlight;
}

Server::TlsHandshakes Server::nodeTlsHandshakes(size_t i) const {
  TlsHandshakes counts;
  if (i >= impl_->nodes.size()) return counts;
  Impl::Node& node = *impl_->nodes[i];
  std::lock_guard<std::mutex> lock(node.stopMutex);
  if (node.tlsContext == nullptr) return counts;
  counts.completed = static_cast<size_t>(SSL_CTX_sess_accept_good(node.tlsContext));
  counts.resumed = static_cast<size_t>(SSL_CTX_sess_hits(node.tlsContext));
  return counts;
}

bool Server::stopNode(size_t i) {
  if (!nodeRunning(i)) return false;
  impl_->stopNode(i);
  sessions_.expireNode(i);
  return true;
}

bool Server::startNode(size_t i, std::string* error) {
  if (i >= impl_->nodes.size() || impl_->certificate.certificatePem.empty()) {
    fail(error, "no node " + std::to_string(i) + " to start");
    return false;
  }
  return impl_->startNode(i, error);
}

void Server::settle() {
  std::unique_lock<std::mutex> lock(impl_->controlMutex);
  impl_->controlCv.wait(lock, [this] { return impl_->controlTasks.empty() && !impl_->controlBusy; });
}

namespace {
// The reply the current request is answering, when a task waits for it to be sent.
thread_local std::shared_ptr<std::promise<void>> pendingReply;
}  // namespace

void Server::Impl::replySent() {
  if (!pendingReply) return;
  pendingReply->set_value();
  pendingReply.reset();
}

void Server::Impl::afterReply(std::function<void()> task) {
  replySent();  // an earlier one whose reply never went out
  pendingReply = std::make_shared<std::promise<void>>();
  std::shared_future<void> sent = pendingReply->get_future().share();
  std::lock_guard<std::mutex> lock(controlMutex);
  controlTasks.push_back([sent, task] {
    // A reply that cannot be written (the client went away) must not hold the task for ever.
    sent.wait_for(std::chrono::seconds(5));
    task();
  });
  controlCv.notify_all();
}

void Server::Impl::startControl() {
  if (control.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(controlMutex);
    controlQuit = false;
  }
  control = std::thread([this] {
    std::unique_lock<std::mutex> lock(controlMutex);
    for (;;) {
      controlCv.wait(lock, [this] { return controlQuit || !controlTasks.empty(); });
      if (controlQuit) break;
      std::function<void()> task = std::move(controlTasks.front());
      controlTasks.pop_front();
      controlBusy = true;
      lock.unlock();
      task();
      lock.lock();
      controlBusy = false;
      controlCv.notify_all();
    }
    // Tasks left over when the whole server stops are moot.
    controlTasks.clear();
    controlCv.notify_all();
  });
}

void Server::Impl::stopControl() {
  if (!control.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(controlMutex);
    controlQuit = true;
  }
  controlCv.notify_all();
  control.join();
}

std::string Server::certificatePem() const { return impl_->certificate.certificatePem; }

bool Server::writeCertificate(const std::string& path) const {
  const std::string pem = certificatePem();
  if (pem.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << pem;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace isim
