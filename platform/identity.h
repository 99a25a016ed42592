// The agent's identity and settings: its registry key SOFTWARE\KOVAOD, its
// KovaMobile.ini and its server map Configuration\kServerMap.ini.
#pragma once

#include <string>

#include "platform/context.h"

constexpr const char* kAgentKey = "SOFTWARE\\KOVAOD";

// True when REGID, SiteId, MemberId and Type were all read and not empty.
bool GetoutputPath(RunContext& rc);
// One REG_SZ value of an open key; the label only names the key in the error line.
// A value of another type reads as empty with a line naming its type, and
// sets *wrongType when given.
std::string ReadAgentRegString(RunContext& rc, const os::RegKey& key, const std::string& keyLabel,
                               const std::string& valueName, bool* wrongType = nullptr);

// Identity values become parts of file names (defrecord_<REGID>_AV_...):
// why a value cannot be one (a path separator, "..", a character Windows
// forbids in names, a control character, more than kMaxIdentityChars), or
// empty when it can.
constexpr size_t kMaxIdentityChars = 64;
std::string IdentityValueProblem(const std::string& value);

// "REG_DWORD" and the like, or "type <n>".
std::string RegTypeName(uint32_t type);
// True when KovaMobile.ini exists; sets GatewayBaseUrl.
bool fncGetClientInfo(RunContext& rc);
// The management server's base URL for a web post, ending in "/", or empty.
std::string GetServerUrl(RunContext& rc, const std::string& webPostName);

struct ProxyDetails {
  bool useProxy = false;
  std::string ip, port, user, password;
};
// Outputs that find nothing keep what the caller passed in.
bool fncGetProxyDetails(RunContext& rc, ProxyDetails* proxy);
std::string DecryptString(RunContext& rc, const std::string& text);
