#pragma once
// The part of ManageIsilon that hosts do not compile against: the session's options and
// settings, its counters and nodes, and the layers of the request cycle, wired together once.
#include "isilon/ManageIsilon.h"
#include "isilon/SessionOptions.h"
#include "src/config/Settings.h"
#include "src/session/Cycle.h"
#include "src/session/Log.h"
#include "src/session/Login.h"
#include "src/session/Nodes.h"
#include "src/session/RetryPolicy.h"
#include "src/session/Sender.h"

struct ManageIsilon::Session {
  Session(unsigned long long& context, isilon::SessionFields fields)
      : log(context, fields.server),
        sender(fields.transport, log, counters.retries,
               isilon::Sender::Hooks{[this] { return login.InstallHeaders(); }, [this] { login.TakeRenewed(); },
                                     [this] { return isilon::RetryPolicy::FromSettings(Current()); }}),
        login(fields, sender, log),
        cycle(fields.connected, sender, login, nodes, counters, log,
              [this]() -> const isilon::Settings& { return Current(); }) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The registry, read at most once per operation, with the options over it.
  const isilon::Settings& Current() {
    if (!settingsRead) {
      settings = isilon::Settings::FromRegistry();
      settings.Apply(options);
      settingsRead = true;
    }
    return settings;
  }

  IsilonSessionOptions options;
  ManageIsilon::WaitObserver waitObserver;  // SetWaitObserver
  isilon::Settings settings;
  bool settingsRead = false;
  isilon::CycleCounters counters;
  isilon::NodeChoice nodes;
  isilon::SessionLog log;
  isilon::Sender sender;
  isilon::Login login;
  isilon::Cycle cycle;
};
