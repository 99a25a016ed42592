// The agent's identity and settings: its registry key SOFTWARE\KOVAOD, its
// KovaMobile.ini and its server map Configuration\kServerMap.ini.
#pragma once

#include <string>

#include "platform/context.h"

constexpr const char* kAgentKey = "SOFTWARE\\KOVAOD";

// True when REGID, SiteId, MemberId and Type were all read and not empty.
bool GetoutputPath(RunContext& rc);
// One REG_SZ value of an open key; the label only names the key in the error line.
std::string ReadAgentRegString(RunContext& rc, const os::RegKey& key, const std::string& keyLabel,
                               const std::string& valueName);
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
