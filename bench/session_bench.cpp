// The cost of a connection: small GETs through the library's transport with the connection
// kept alive, against the same GETs with a new transport (new TCP and TLS handshake) for each
// request, and the whole request cycle of a session (ManageIsilon::GetExternalIPs). All over
// HTTPS against an in-process simulated cluster on 127.0.0.14:8080.
//
//   session_bench [benchmark options]
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "host/LogWriter.h"
#include "host/QuorLibCurl.h"
#include "isilon/ManageIsilon.h"
#include "sim/core/Server.h"

namespace {

const char kAddress[] = "127.0.0.14";
const char kUser[] = "admin";
const char kPassword[] = "secret";

std::string BaseUrl() { return std::string("https://") + kAddress + ":8080"; }

// The session's three headers, from one login made through the transport itself.
std::vector<std::string> g_sessionHeaders;

std::unique_ptr<QuorLibCurl> NewTransport() {
  std::unique_ptr<QuorLibCurl> transport(new QuorLibCurl());
  if (!transport->QuorLibCurlInit("Content-Type: application/json", true, true, nullptr)) return nullptr;
  for (const std::string& line : g_sessionHeaders) transport->QuorLibCurlAppendHeader(HTTP_HDR_STANDARD, line);
  return transport;
}

// The value of cookie `name` in a Set-Cookie text, or empty.
std::string CookieValue(const std::string& text, const std::string& name) {
  const size_t at = text.find(name + "=");
  if (at == std::string::npos) return std::string();
  const size_t from = at + name.size() + 1;
  return text.substr(from, text.find(';', from) - from);
}

bool Login() {
  std::unique_ptr<QuorLibCurl> transport(new QuorLibCurl());
  if (!transport->QuorLibCurlInit("Content-Type: application/json", true, true, nullptr)) return false;
  const std::string body = std::string("{\"username\" : \"") + kUser + "\",\"password\" : \"" + kPassword +
                           "\",\"services\" : [\"platform\",\"namespace\"]}";
  if (!transport->QuorLibCurlSendHttpReq(HTTP_REQ_POST, BaseUrl() + "/session/1/session", body.data(), body.size(),
                                         false, nullptr)) {
    return false;
  }
  unsigned long code = 0;
  std::free(transport->GetHttpResponse(code, true));
  std::vector<std::string> cookies;
  transport->GetHttpResponseHeaders("Set-Cookie", cookies);
  std::string session, csrf;
  for (const std::string& text : cookies) {
    if (session.empty()) session = CookieValue(text, "isisessid");
    if (csrf.empty()) csrf = CookieValue(text, "isicsrf");
  }
  g_sessionHeaders = {"Cookie: isisessid=" + session, "X-CSRF-Token: " + csrf,
                      "Referer: https://" + std::string(kAddress) + ":8080"};
  transport->QuorLibCurlDeInit();
  return !session.empty();
}

bool Get(QuorLibCurl& transport, benchmark::State& state) {
  const bool ok = transport.QuorLibCurlSendHttpReq(HTTP_REQ_GET, BaseUrl() + "/platform/1/cluster/external-ips",
                                                   nullptr, 0, false, nullptr);
  unsigned long code = 0;
  std::free(transport.GetHttpResponse(code, true));
  if (!ok) state.SkipWithError(("request failed: " + transport.GetLastErrorText()).c_str());
  return ok;
}

void BM_ReusedConnection(benchmark::State& state) {
  std::unique_ptr<QuorLibCurl> transport = NewTransport();
  for (auto _ : state) {
    if (!Get(*transport, state)) break;
  }
  transport->QuorLibCurlDeInit();
  state.SetItemsProcessed(state.iterations());
}

void BM_NewConnectionPerRequest(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<QuorLibCurl> transport = NewTransport();
    const bool ok = Get(*transport, state);
    transport->QuorLibCurlDeInit();
    if (!ok) break;
  }
  state.SetItemsProcessed(state.iterations());
}

// The whole cycle of an operation on an open session: build, send, read the reply, log.
void BM_SessionOperation(benchmark::State& state) {
  ManageIsilon session;
  session.SetFileServer(kAddress);
  session.SetUser(kUser);
  session.SetPasswd(kPassword);
  std::vector<std::string> ips;
  for (auto _ : state) {
    if (!session.GetExternalIPs(ips)) {
      state.SkipWithError("GetExternalIPs failed");
      break;
    }
  }
  session.CloseConnection();
  state.SetItemsProcessed(state.iterations());
}

// The two compared with each other run next to each other; the connections made and closed
// by the third come last, so that they cannot weigh on the others.
BENCHMARK(BM_ReusedConnection)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_SessionOperation)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_NewConnectionPerRequest)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  char certName[] = "/tmp/session-bench-cert-XXXXXX";
  char registryName[] = "/tmp/session-bench-registry-XXXXXX";
  const int certFd = mkstemp(certName), registryFd = mkstemp(registryName);
  if (certFd < 0 || registryFd < 0) return 1;
  close(certFd);
  close(registryFd);

  isim::Config config;
  config.address = kAddress;
  config.users = {{kUser, kPassword}};
  isim::Server server(config);
  std::string error;
  if (!server.start(&error) || !server.writeCertificate(certName)) {
    std::cerr << "session_bench: cannot start the simulator: " << error << "\n";
    return 1;
  }
  std::ofstream(registryName) << "[NAS]\nsIsilonCAFile=" << certName << "\n";
  setenv("ISILON_REGISTRY", registryName, 1);
  // The library's milestone lines would be timed along with the requests.
  if (g_ptrLogWriter) g_ptrLogWriter->setLevel(-1);

  int rc = 0;
  if (!Login()) {
    std::cerr << "session_bench: cannot log in\n";
    rc = 1;
  } else {
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  server.stop();
  std::remove(certName);
  std::remove(registryName);
  return rc;
}
