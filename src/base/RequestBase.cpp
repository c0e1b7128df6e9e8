#include <string>
#include <vector>

#include "host/DebugLog.h"
#include "host/LogWriter.h"
#include "isilon/IsilonJSON.h"
#include "json/jsonxx.h"
#include "src/common/LogText.h"
#include "src/common/ReplyShape.h"

using isilon::OrEmpty;

IsilonJsonBase::IsilonJsonBase() {}
IsilonJsonBase::~IsilonJsonBase() {}

bool IsilonJsonBase::BuildRequest(std::string&, std::string&) { return true; }

bool IsilonJsonBase::ParseResponse(std::string& response) {
  if (g_ptrLogWriter && g_ptrLogWriter->level() >= 5) {
    g_ptrLogWriter->write(5, "virtual bool IsilonJsonBase::ParseResponse(std::string&)", __LINE__, 0, 0,
                          "Json response :[%s]", OrEmpty(response));
  }
  return true;
}

bool IsilonJsonBase::ParseError(std::string& response) {
  static const char kFn[] = "IsilonJsonBase::ParseError";
  EvDebug debug(nullptr);
  debug.DebugLvl(kFn, 0, "Json response :[%s]", OrEmpty(response));

  vErrorList.clear();
  strErrorMessage.clear();
  strErrorCode.clear();

  jsonxx::Object reply;
  // A reply cut short is not the cluster's error: what was read before the cut (a code that
  // counts as done) must not decide.
  if (!isilon::ReadReply(response, reply)) {
    debug.DebugLvl(kFn, -1, "Failed to fetch json response.");
    strErrorCode = "Internal error";
    strErrorMessage = "Internal error";
    return false;
  }

  if (isilon::Field<jsonxx::Array>(reply, "errors").empty()) {
    strErrorCode = isilon::Field<std::string>(reply, "code");
    strErrorMessage = isilon::Field<std::string>(reply, "message");
    if (strErrorCode.empty() && strErrorMessage.empty()) {
      debug.DebugLvl(kFn, -1, "Json response :[%s] does not include any errors.", OrEmpty(response));
      // A failure always carries a reason: the reply itself is all there is.
      strErrorCode = "Internal error";
      strErrorMessage = "Json response :[" + response + "] does not include any errors.";
      return false;
    }
    return true;
  }

  const jsonxx::Array& errors = isilon::Field<jsonxx::Array>(reply, "errors");
  for (unsigned int i = 0; i < errors.size(); ++i) {
    _IsilonErrorInfo info;
    // An element that is not an object yields a record with empty fields.
    if (errors.has<jsonxx::Object>(i)) {
      jsonxx::Object entry = errors.get<jsonxx::Object>(i);
      info.strCode = isilon::Field<std::string>(entry, "code");
      info.strMessage = isilon::Field<std::string>(entry, "message");
    }
    debug.DebugLvl(kFn, 0, " \n\t Error code\t:[%s]\n\t Error message\t:[%s]", info.strCode.c_str(),
                   info.strMessage.c_str());
    vErrorList.push_back(info);
  }
  strErrorCode = vErrorList.front().strCode;
  strErrorMessage = vErrorList.front().strMessage;
  return true;
}

void IsilonJsonBase::getError(std::string& code, std::string& message) {
  code = strErrorCode;
  message = strErrorMessage;
}

void IsilonJsonBase::getErrorList(std::vector<_IsilonErrorInfo>& list) { list = vErrorList; }
