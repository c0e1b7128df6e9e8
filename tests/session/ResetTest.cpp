// A connection reset before the request went out (during the TLS handshake) is as a refused
// one: retried, then the session moves to another node. One cut off after the request went
// out is repeated only where that is safe; a login is.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "sim/core/Faults.h"
#include "tests/session/SessionFixture.h"

namespace {

using sessiontest::SessionFixture;

const char kResetNode[] = "127.0.0.170";
const char kLogin[] = "/session/1/session";

// Accepts on port 8080, reads the client's first bytes (its TLS hello) and resets the
// connection: the handshake never completes.
class ResettingServer {
 public:
  explicit ResettingServer(const char* address) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(8080);
    inet_pton(AF_INET, address, &where.sin_addr);
    listening_ = bind(listener_, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 && listen(listener_, 8) == 0;
    if (listening_) thread_ = std::thread([this] { Serve(); });
  }
  ~ResettingServer() {
    shutdown(listener_, SHUT_RDWR);  // wakes the accept
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  bool listening() const { return listening_; }
  int accepted() const { return accepted_; }

 private:
  void Serve() {
    for (;;) {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      ++accepted_;
      char hello[512];
      (void)!read(fd, hello, sizeof hello);
      const linger abort{1, 0};  // close with a reset, not a goodbye
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      close(fd);
    }
  }

  int listener_ = -1;
  bool listening_ = false;
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

class ResetTest : public SessionFixture {};

TEST_F(ResetTest, AResetHandshakeIsRetriedAndMovesToTheNextNode) {
  ResettingServer resetting(kResetNode);
  ASSERT_TRUE(resetting.listening());
  for (int retries : {0, 2}) {
    SCOPED_TRACE(retries);
    // The resetting node first; the simulator's node after it.
    SetRegistry("sIsilonNodeAddresses=" + std::string(kResetNode) + "," + address() +
                "\nnIsilonRetryCount=" + std::to_string(retries) + "\n");
    std::unique_ptr<ManageIsilon> session = NewSession();
    const int before = resetting.accepted();
    const ManageIsilon::RequestCounters counted = session->GetRequestCounters();
    ASSERT_TRUE(session->OpenConnection()) << LastError(*session);
    EXPECT_EQ(retries + 1, resetting.accepted() - before);  // every try on the resetting node
    EXPECT_EQ(static_cast<unsigned long long>(retries), session->GetRequestCounters().retries - counted.retries);
    EXPECT_EQ(1u, session->GetRequestCounters().nodeSwitches);
    session->CloseConnection();
  }
  // With no other node to go to, the cause is the reset.
  SetRegistry(std::string("sIsilonNodeAddresses=") + kResetNode + "\nnIsilonRetryCount=1\n");
  std::unique_ptr<ManageIsilon> alone = NewSession();
  const int before = resetting.accepted();
  EXPECT_FALSE(alone->OpenConnection());
  EXPECT_EQ(2, resetting.accepted() - before);
  EXPECT_NE("", alone->GetLastTransportError());
}

TEST_F(ResetTest, ALoginCutOffAfterItWentOutIsSentAgain) {
  for (int retries : {0, 1}) {
    SCOPED_TRACE(retries);
    SetRegistry("nIsilonRetryCount=" + std::to_string(retries) + "\n");
    server().faults().add(isim::Fault::closeBeforeReply(kLogin).on("POST"));
    server().requestLog().clear();
    std::unique_ptr<ManageIsilon> session = NewSession();
    EXPECT_EQ(retries > 0, session->OpenConnection()) << LastError(*session);
    EXPECT_EQ(static_cast<size_t>(retries + 1), Sent("POST", kLogin).size());
    server().faults().clear();
    session->CloseConnection();
  }
}

}  // namespace
