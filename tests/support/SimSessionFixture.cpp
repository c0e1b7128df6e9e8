#include "tests/support/SimSessionFixture.h"

#include "host/Sleep.h"

SimSessionFixture* SimSessionFixture::current_ = nullptr;

void SimSessionFixture::SetUp() {
  SimFixture::SetUp();
  if (HasFatalFailure()) return;
  registry_.reset(new ScopedRegistry(RegistryText()));
  sleeps_.clear();
  current_ = this;
  SetZemSleepHook(&RecordSleep);
  session_.reset(new ManageIsilon());
  session_->SetFileServer(address());
  session_->SetUser(user());
  session_->SetPasswd(password());
}

void SimSessionFixture::TearDown() {
  if (session_) session_->CloseConnection();
  session_.reset();
  SetZemSleepHook(nullptr);
  current_ = nullptr;
  registry_.reset();
  SimFixture::TearDown();
}

void SimSessionFixture::RecordSleep(unsigned int milliseconds, const char* /*file*/, int /*line*/) {
  if (current_ == nullptr) return;
  std::lock_guard<std::mutex> lock(current_->sleepsMutex_);
  current_->sleeps_.push_back(milliseconds);
  current_->server().clock().advance(milliseconds / 1000.0);
}
