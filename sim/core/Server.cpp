#include "sim/core/Server.h"

#include <openssl/pem.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>

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

bool Server::start(std::string* error) {
  if (running()) return true;
  // A client that goes away mid-reply must not kill the process: TLS writes use write(2).
  signal(SIGPIPE, SIG_IGN);

  sessions_.setTimeouts(config_.idleTimeout, config_.absoluteTimeout);
  requestLog_.setCapacity(config_.requestLogCapacity);

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
  } else if (!makeSelfSigned(config_.address, pair, reason)) {
    fail(error, reason);
    return false;
  }

  std::unique_ptr<X509, X509Free> cert;
  std::unique_ptr<EVP_PKEY, KeyFree> key;
  {
    auto cb = memoryBio(pair.certificatePem);
    auto kb = memoryBio(pair.privateKeyPem);
    cert.reset(PEM_read_bio_X509(cb.get(), nullptr, nullptr, nullptr));
    key.reset(PEM_read_bio_PrivateKey(kb.get(), nullptr, nullptr, nullptr));
  }
  if (!cert || !key) {
    fail(error, "cannot read the certificate or key");
    return false;
  }

  if (!impl_->modulesStarted) {
    for (auto& m : modules_) m->registerRoutes(impl_->router);
    if (config_.demo)
      for (auto& m : modules_) m->seedDemo();
    for (auto& m : modules_) m->onStart();
    impl_->modulesStarted = true;
  }

  // The server takes its own references to the certificate and key.
  auto http = std::make_unique<httplib::SSLServer>(cert.get(), key.get());
  if (!http->is_valid()) {
    fail(error, "cannot set up TLS");
    return false;
  }
  // A worker serves one keep-alive connection at a time; with latency, clients run many
  // connections at once (a parallel tree walk up to 64), so there is a worker for each.
  const size_t threads = std::max<size_t>(config_.threads, config_.latencyMs > 0 ? 72 : 4);
  http->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // Headers and body go out in separate writes; without this the body waits for the
  // client's delayed acknowledgement (about 40 ms a reply on Linux).
  http->set_tcp_nodelay(true);
  // No SO_REUSEPORT (the server library's default): a second simulator on the same address
  // must fail to bind, not silently take half of the first one's connections.
  http->set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const void*>(&yes), sizeof(yes));
  });
  http->set_keep_alive_max_count(config_.keepAliveMaxCount);
  http->set_keep_alive_timeout(std::max(config_.keepAliveTimeout, 1));
  http->set_read_timeout(30, 0);
  http->set_write_timeout(30, 0);
  http->set_payload_max_length(config_.maxBodyBytes);
  Impl* impl = impl_.get();
  auto handler = [impl](const httplib::Request& in, httplib::Response& out) { impl->handle(in, out); };
  // [\s\S] rather than '.', which would not match a decoded line break.
  const std::string any = "[\\s\\S]*";
  http->Get(any, handler);
  http->Post(any, handler);
  http->Put(any, handler);
  http->Delete(any, handler);
  http->Patch(any, handler);
  http->Options(any, handler);

  int port = config_.port;
  bool bound;
  if (port == 0) {
    port = http->bind_to_any_port(config_.address);
    bound = port > 0;
  } else {
    bound = http->bind_to_port(config_.address, port);
  }
  if (!bound) {
    fail(error, "cannot listen on " + config_.address + ":" + std::to_string(config_.port));
    return false;
  }
  impl_->boundPort = port;
  impl_->certificate = pair;
  {
    std::lock_guard<std::mutex> lock(impl_->stopMutex);
    impl_->stopping = false;
  }
  httplib::SSLServer* raw = http.get();
  impl_->http = std::move(http);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  impl_->thread = std::thread([raw, finished] {
    raw->listen_after_bind();
    *finished = true;
  });
  // The socket already listens; wait until the accept loop runs so that stop() can end it.
  while (!raw->is_running() && !*finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (*finished) {
    impl_->thread.join();
    impl_->http.reset();
    fail(error, "the server on " + config_.address + " stopped at once");
    return false;
  }
  return true;
}

void Server::stop() {
  if (!impl_ || !impl_->http) return;
  {
    std::lock_guard<std::mutex> lock(impl_->stopMutex);
    impl_->stopping = true;
  }
  impl_->stopCv.notify_all();
  impl_->http->stop();
  impl_->closeConnections();
  if (impl_->thread.joinable()) impl_->thread.join();
  impl_->http.reset();
}

bool Server::running() const { return impl_ && impl_->http && impl_->http->is_running(); }

int Server::port() const { return impl_->boundPort ? impl_->boundPort : config_.port; }

std::string Server::baseUrl() const {
  const std::string& a = config_.address;
  std::string host = a.find(':') != std::string::npos ? "[" + a + "]" : a;
  return "https://" + host + ":" + std::to_string(port());
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
